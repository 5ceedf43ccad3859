#include "app/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

std::string Digest(const std::string& message, size_t piece) {
  Sha256 hash;
  for (size_t at = 0; at < message.size(); at += piece) {
    const std::string part = message.substr(at, piece);
    hash.Update({reinterpret_cast<const uint8_t*>(part.data()), part.size()});
  }
  return HexDigest(hash.Final());
}

TEST(Sha256, PublishedVectorsWhateverPiecesTheMessageComesIn) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      // The padding's edges: the length still fits the last block, just not, a whole block.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{1} << 20}) {
      if (piece == 1 && c.message.size() > 1000) continue;
      EXPECT_EQ(Digest(c.message, piece), c.digest) << c.message.size() << " bytes in pieces of " << piece;
    }
  }
}

TEST(Sha256, FileDigestReadsPastItsPieceSizeAndRefusesAFolder) {
  testing::TempFolder folder;
  const std::string content(600 * 1024 + 7, 'a');
  testing::WriteBytes(folder.File("image.bin"), content);
  EXPECT_EQ(FileSha256(folder.File("image.bin")), Digest(content, 4096));
  EXPECT_EQ(FileSha256(folder.File("missing.bin")), std::nullopt);
  EXPECT_EQ(FileSha256(folder.Folder()), std::nullopt);
}

TEST(Sha256, AKeptDigestIsNotUsedOnceTheFileChanged) {
  testing::TempFolder folder;
  const std::string path = folder.File("image.bin");
  FileDigests digests;
  for (const std::string content : {"first", "second", "Second"}) {
    const auto before = std::filesystem::exists(path) ? std::filesystem::last_write_time(path)
                                                      : std::filesystem::file_time_type{};
    testing::WriteBytes(path, content);
    // Same length, same second: only the time stamp tells them apart.
    std::filesystem::last_write_time(path, before + std::chrono::seconds(1));
    EXPECT_EQ(digests.Of(path), Digest(content, 64)) << content;
  }
  EXPECT_EQ(digests.Of(folder.File("missing.bin")), std::nullopt);
}

}  // namespace
}  // namespace zorbel
