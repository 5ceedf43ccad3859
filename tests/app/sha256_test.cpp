#include "app/sha256.h"

#include "app/test_table.h"
#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

using namespace testing;

std::string Digest(const std::string& message, size_t piece) {
  Sha256 hash;
  for (size_t at = 0; at < message.size(); at += piece) {
    const std::string part = message.substr(at, piece);
    hash.Update({reinterpret_cast<const uint8_t*>(part.data()), part.size()});
  }
  return HexDigest(hash.Final());
}

TEST(Sha256, PublishedVectorsWhateverPiecesTheMessageComesIn) {
  // text, times repeated, digest of the message
  for (const auto& row : LoadTable("app/sha256.tsv")) {
    std::string message;
    for (int i = std::stoi(row[1]); i > 0; --i) message += row[0];
    for (size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{1} << 20}) {
      if (piece == 1 && message.size() > 1000) continue;
      EXPECT_EQ(Digest(message, piece), row[2]) << message.size() << " bytes in pieces of " << piece;
    }
  }
}

TEST(Sha256, FileDigestReadsPastItsPieceSizeAndRefusesAFolder) {
  TempFolder folder;
  const std::string content(600 * 1024 + 7, 'a');
  WriteBytes(folder.File("image.bin"), content);
  EXPECT_EQ(FileSha256(folder.File("image.bin")), Digest(content, 4096));
  EXPECT_EQ(FileSha256(folder.File("missing.bin")), std::nullopt);
  EXPECT_EQ(FileSha256(folder.Folder()), std::nullopt);
}

TEST(Sha256, AKeptDigestIsNotUsedOnceTheFileChanged) {
  TempFolder folder;
  const std::string path = folder.File("image.bin");
  FileDigests digests;
  for (const std::string content : {"first", "second", "Second"}) {
    const auto before = std::filesystem::exists(path) ? std::filesystem::last_write_time(path)
                                                      : std::filesystem::file_time_type{};
    WriteBytes(path, content);
    // Same length, same second: only the time stamp tells them apart.
    std::filesystem::last_write_time(path, before + std::chrono::seconds(1));
    EXPECT_EQ(digests.Of(path), Digest(content, 64)) << content;
  }
  EXPECT_EQ(digests.Of(folder.File("missing.bin")), std::nullopt);
}

}  // namespace
}  // namespace zorbel
