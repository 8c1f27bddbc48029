// The file layer on a real disk: capped reads, durable replacement and the temporary-file table.
#include "files/files.h"
#include "files/temporary_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>  // mkfifo
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/support/scratch_dir.h"

namespace fs = std::filesystem;
using quillfen::files::ReadProblem;
using quillfen::files::readCapped;
using quillfen::files::replaceFile;
using quillfen::files::TemporaryFile;

namespace {

std::string slurp(fs::path const& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class files_test : public ::testing::Test {
 protected:
  fs::path const& dir() const { return scratch_.path(); }
  // Everything in the folder whose name marks a writer's temporary file.
  int temporaries() const {
    int n = 0;
    for (auto const& entry : fs::directory_iterator(dir()))
      n += entry.path().filename().string().find(".partial") != std::string::npos;
    return n;
  }

 private:
  plumbrook::test::ScratchDir scratch_;
};

TEST_F(files_test, read_capped_names_what_stands_in_the_way) {
  std::ofstream(dir() / "small") << "twelve bytes";
  auto const ok = readCapped(dir() / "small", 12);
  ASSERT_TRUE(ok) << ok.reason;
  EXPECT_EQ(ok.bytes, "twelve bytes");

  auto const large = readCapped(dir() / "small", 11);
  EXPECT_EQ(large.problem, ReadProblem::tooLarge);
  EXPECT_TRUE(large.bytes.empty());

  auto const missing = readCapped(dir() / "none", 100);
  EXPECT_EQ(missing.problem, ReadProblem::missing);
  EXPECT_EQ(missing.reason, "no such file");

  // A FIFO with no writer would block a plain open forever; here it is named for what it is.
  ASSERT_EQ(::mkfifo((dir() / "fifo").c_str(), 0600), 0);
  auto const fifo = readCapped(dir() / "fifo", 100);
  EXPECT_EQ(fifo.problem, ReadProblem::notRegular);
  EXPECT_EQ(fifo.reason, "not a regular file (a FIFO)");
  EXPECT_EQ(readCapped(dir(), 100).reason, "not a regular file (a directory)");
}

TEST_F(files_test, replace_is_whole_or_nothing_and_leaves_no_temporary) {
  fs::path const file = dir() / "sub" / "record.json";
  std::string error;
  ASSERT_TRUE(replaceFile(file, "first", error)) << error;
  ASSERT_TRUE(replaceFile(file, "second", error)) << error;
  EXPECT_EQ(slurp(file), "second");

  // The final name is a directory with something in it: the rename fails with the system's reason.
  fs::create_directories(dir() / "blocked" / "inside");
  EXPECT_FALSE(replaceFile(dir() / "blocked", "x", error));
  EXPECT_EQ(error.rfind("could not write " + (dir() / "blocked").string() + ": ", 0), 0u) << error;
  EXPECT_NE(error.find("directory"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(dir() / "blocked" / "inside"));
  EXPECT_EQ(temporaries(), 0);
}

TEST_F(files_test, a_link_at_the_final_name_is_replaced_not_written_through) {
  std::ofstream(dir() / "victim") << "keep me";
  fs::create_symlink(dir() / "victim", dir() / "target");
  std::string error;
  ASSERT_TRUE(replaceFile(dir() / "target", "new", error)) << error;
  EXPECT_EQ(slurp(dir() / "victim"), "keep me");
  EXPECT_FALSE(fs::is_symlink(dir() / "target"));
  EXPECT_EQ(slurp(dir() / "target"), "new");
}

TEST_F(files_test, concurrent_writers_of_one_name_all_succeed_and_leave_one_whole_file) {
  constexpr int kWriters = 50;
  fs::path const file = dir() / "shared.txt";
  auto contents = [](int writer) { return "writer " + std::to_string(writer) + " " + std::string(20000, 'a' + writer % 26); };
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t const pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::string error;
      bool ok = true;
      for (int round = 0; round < 5; ++round) ok = replaceFile(file, contents(w), error) && ok;
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  int failed = 0;
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(failed, 0);
  std::string const last = slurp(file);
  bool whole = false;
  for (int w = 0; w < kWriters; ++w) whole = whole || last == contents(w);
  EXPECT_TRUE(whole) << "the file holds " << last.size() << " bytes that no writer wrote as such";
  EXPECT_EQ(temporaries(), 0);
}

// A child makes a temporary file, installs the handlers and waits; the signal must remove the file
// and still end the child by that signal.
class temporary_table_test : public files_test, public ::testing::WithParamInterface<int> {};

TEST_P(temporary_table_test, a_terminating_signal_removes_registered_files_and_still_ends_the_process) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t const pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(GetParam(), SIG_DFL);  // as a program started in the foreground finds it
    quillfen::files::removeTemporariesOnSignals();
    TemporaryFile first(dir() / "a.wav");
    TemporaryFile second(dir() / "b.wav");
    bool const ok = first.write(std::string(100000, 'x')) && second.descriptor() >= 0;
    char const byte = ok ? '1' : '0';
    if (::write(ready[1], &byte, 1) != 1) ::_exit(3);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(byte, '1');
  EXPECT_EQ(temporaries(), 2);
  ASSERT_EQ(::kill(pid, GetParam()), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam());
  EXPECT_EQ(temporaries(), 0);
}

INSTANTIATE_TEST_SUITE_P(signals, temporary_table_test, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST_F(files_test, an_ignored_signal_stays_ignored) {
  // nohup and background jobs ignore SIGHUP or SIGINT: the tool must not undo that.
  pid_t const pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGHUP, SIG_IGN);
    quillfen::files::removeTemporariesOnSignals();
    ::raise(SIGHUP);
    ::_exit(7);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
}

TEST_F(files_test, a_committed_file_leaves_the_table_and_a_dropped_one_is_removed) {
  {
    TemporaryFile kept(dir() / "kept");
    ASSERT_TRUE(kept.write("done")) << kept.error();
    ASSERT_TRUE(kept.commit()) << kept.error();
    TemporaryFile dropped(dir() / "dropped");
    ASSERT_GE(dropped.descriptor(), 0) << dropped.error();
  }
  EXPECT_EQ(slurp(dir() / "kept"), "done");
  EXPECT_FALSE(fs::exists(dir() / "dropped"));
  EXPECT_EQ(temporaries(), 0);
}

}  // namespace
