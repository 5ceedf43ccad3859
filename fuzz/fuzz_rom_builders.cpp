// The three ROM builders on any list file. The list's file names are mapped
// onto a few prepared files (the list itself and the target among them), so
// the builders meet every arrangement without roaming the file system. A
// refused build changes no file; no build ever changes its inputs.
#include <map>

#include "app/user_prompt.h"
#include "fuzz_support.h"
#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/spi_rom_builder.h"

namespace {

using namespace zorbel;

const char* const kNames[] = {"img0.bin", "img1.bin", "img2.bin", "out.bin", "list.ini"};

// The list with its `Image` values mapped; sources gets the prepared files
// that a section other than [Target Image] names (as the reader sees it:
// brackets stripped, the last of a repeated key winning).
std::string MapImagePaths(const std::string& text, std::vector<bool>& sources) {
  std::string out;
  std::string section;
  std::map<std::string, size_t> named;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const size_t first = line.find_first_not_of('[');
      const size_t last = line.find_last_not_of(']');
      section = first == std::string::npos || last < first ? "" : line.substr(first, last - first + 1);
    } else if (line.rfind("Image=", 0) == 0) {
      const size_t pick = (line.size() > 6 ? static_cast<uint8_t>(line[6]) : 0) % std::size(kNames);
      line = "Image=" + fuzz::Scratch() + kNames[pick];
      named[section] = pick;
    }
    out += line + "\n";
    pos = end + 1;
  }
  for (const auto& [name, pick] : named) {
    if (name != "Target Image") sources[pick] = true;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::vector<uint8_t> images[] = {std::vector<uint8_t>(1000, 0x11),
                                                std::vector<uint8_t>(70000, 0x22), {}};
  for (size_t i = 0; i < std::size(images); ++i) fuzz::Put(kNames[i], images[i].data(), images[i].size());
  const std::vector<uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  fuzz::Put("out.bin", earlier.data(), earlier.size());
  std::vector<bool> sources(std::size(kNames));
  const std::string text =
      MapImagePaths(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), sources);
  const std::string list = fuzz::Put("list.ini", reinterpret_cast<const uint8_t*>(text.data()), text.size());

  RecordingPrompt prompt;
  int result = -1;
  switch (data[0] % 4) {
    case 0:
      result = NorRomBuilder(NorRomRequest{list}, prompt);
      break;
    case 1: {
      NandRomRequest request;
      request.listFile = list;
      request.imageCount = data[0] >> 2;
      result = NandRomBuilder(request, prompt);
      break;
    }
    default: {
      SpiRomRequest request;
      request.listFile = list;
      request.bankMode = (data[0] & 1) != 0;
      result = SpiRomBuilder(request, prompt);
      break;
    }
  }
  for (size_t i = 0; i < std::size(images); ++i) {
    if (sources[i]) fuzz::Require(fuzz::Get(fuzz::Scratch() + kNames[i]) == images[i]);
  }
  const auto listNow = fuzz::Get(list);
  fuzz::Require(std::string(listNow.begin(), listNow.end()) == text);
  if (result != 0) fuzz::Require(fuzz::Get(fuzz::Scratch() + "out.bin") == earlier);
  return 0;
}
