#include "common/text_file.h"

#include "common/atomic_file.h"
#include "common/error.h"
#include "common/unicode.h"
#include "test_support.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

namespace velmoro {
namespace {

std::u16string decode(const std::string& bytes) {
  return text::decodeText({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

TEST(TextFile, ByteOrderMarks) {
  EXPECT_EQ(decode("\xEF\xBB\xBFK\xC3\xB6ln"), u"K\u00F6ln");
  EXPECT_EQ(decode(std::string("\xFF\xFEK\0\xF6\0", 6)), u"K\u00F6");
  EXPECT_EQ(decode(std::string("\xFE\xFF\0K\0\xF6", 6)), u"K\u00F6");
  EXPECT_EQ(decode(std::string("\xFF\xFE" "A\0B", 5)), u"A\uFFFD");  // odd byte left over
  EXPECT_EQ(decode("plain"), u"plain");
  EXPECT_EQ(decode(""), u"");
}

TEST(TextFile, InvalidUtf8BecomesReplacementCharacter) {
  EXPECT_EQ(decode("K\xF6ln"), u"K\uFFFDln");            // a Latin-1 byte
  EXPECT_EQ(decode("a\xC3"), u"a\uFFFD");                // truncated sequence at the end
  EXPECT_EQ(decode("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");  // encoded surrogate
  EXPECT_EQ(decode("\xF0\x9F\x8F\x86"), u"\U0001F3C6");  // a real 4-byte sequence
}

TEST(TextFile, UnreadableFileIsEmptyText) {
  test::ScratchDir dir;
  EXPECT_EQ(text::readTextFile(text::fromUtf8((dir / "missing.txt").string())), u"");
  EXPECT_EQ(text::readTextFile(text::fromUtf8(dir.path().string())), u"");  // a folder
  test::writeFile(dir / "cfg.txt", "\xEF\xBB\xBF" "A=1\r\nB=\xC3\xA9\n");
  EXPECT_EQ(text::readTextFile(text::fromUtf8((dir / "cfg.txt").string())), u"A=1\r\nB=\u00E9\n");
}

TEST(AtomicFile, WritesAndReplaces) {
  test::ScratchDir dir;
  std::u16string p = text::fromUtf8((dir / "out.txt").string());
  text::writeTextFile(p, u"A=\u00E9\r\n");
  EXPECT_EQ(test::readFile(dir / "out.txt"), "\xEF\xBB\xBF" "A=\xC3\xA9\r\n");
  ::chmod((dir / "out.txt").c_str(), 0640);
  text::writeTextFile(p, u"B");
  EXPECT_EQ(test::readFile(dir / "out.txt"), "\xEF\xBB\xBF" "B");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "out.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // a replaced file keeps its permissions
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(AtomicFile, FailureIsAnErrorAndLeavesNothing) {
  test::ScratchDir dir;
  test::writeFile(dir / "file", "x");
  // A folder that is a regular file: the write must fail, even for root.
  std::u16string p = text::fromUtf8((dir / "file" / "out.txt").string());
  try {
    text::writeTextFile(p, u"data");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(e.message().find(p), std::u16string::npos);
  }
  // A target that is a folder: the rename fails and the temporary file goes away.
  std::filesystem::create_directory(dir / "sub");
  EXPECT_THROW(text::writeTextFile(text::fromUtf8((dir / "sub").string()), u"x"), Error);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(AtomicFile, FailedWriteKeepsTheOldFile) {
  // A file-size limit makes the write fail half way, as a full disk would.
  test::ScratchDir dir;
  std::u16string p = text::fromUtf8((dir / "keep.txt").string());
  text::writeTextFile(p, u"old");
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool failed = false;
  try {
    writeFileAtomically(p, std::vector<uint8_t>(4096, 'x'));
  } catch (const Error&) {
    failed = true;
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_TRUE(failed);
  EXPECT_EQ(test::readFile(dir / "keep.txt"), "\xEF\xBB\xBF" "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace velmoro
