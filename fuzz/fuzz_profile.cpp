// The INI reader on any text: it reads, answers and writes back what it read.
#include "app/profile_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorbel;
  ProfileReader reader;
  reader.SetPath(fuzz::Put("list.ini", data, size));
  if (!reader.ReadFile()) return 0;
  reader.ImageNumberMask("Image ");
  for (int s = 0; s < reader.SectionCount(); ++s) {
    const std::string section = reader.SectionName(s);
    fuzz::Require(reader.FindSection(section) >= 0);
    for (int k = 0; k < reader.GetNumValues(section); ++k) {
      fuzz::Require(reader.FindKey(reader.FindSection(section), reader.GetValueName(section, k)) >= 0);
    }
  }
  reader.SetPath(fuzz::Scratch() + "copy.ini");
  fuzz::Require(reader.WriteFile());
  ProfileReader again;
  again.SetPath(fuzz::Scratch() + "copy.ini");
  fuzz::Require(again.ReadFile());
  return 0;
}
