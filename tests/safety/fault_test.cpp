// Real faults on the real file system around one run: a full disk, a folder that may
// not be written, a board that changes under the window, links, permission bits and
// locks. After each, the board holds exactly its old bytes or exactly the new ones,
// nothing of ours is left in the folder, and a refused rewrite was told to the user.
#include "support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rzsafe;

namespace {

// A board small enough for a small tmpfs, with every kind of drill token in it.
const GeneratedBoard& SmallBoard() {
    static const GeneratedBoard board = [] {
        BoardShape shape;
        shape.targetBytes = 200 * 1024;
        shape.distinctDrills = 30;
        return GenerateBoard(shape);
    }();
    return board;
}

void ExpectToldUser(const Session& s) {
    ASSERT_FALSE(s.dialogs.messages.empty()) << "nothing was told to the user";
    EXPECT_EQ(s.dialogs.messages.back().title, "Information");
    EXPECT_FALSE(s.dialogs.messages.back().text.empty());
}

std::string DescribeMessages(const Session& s) {
    std::string all;
    for (const auto& m : s.dialogs.messages) {
        all += "[" + m.title + ": " + m.text + "] ";
    }
    return all;
}

// One complete run on the board: the next run after a fault must work.
void ExpectNextRunWorks(const fs::path& board, const std::string& expected) {
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written) << DescribeMessages(s);
    EXPECT_TRUE(ReadBytes(board) == expected) << "the next run did not write the new bytes";
}

long FreeBytes(const fs::path& p) {
    struct statvfs v {};
    statvfs(p.c_str(), &v);
    return static_cast<long>(v.f_bavail * v.f_frsize);
}

// ---------------------------------------------------------------------------------
// Disk full: a tmpfs just big enough for the board and a filler that leaves a chosen
// amount of room, so the rewrite runs out of space at a different point each time.

struct DiskFullCase {
    const char* name;
    long freeAfterFiller; // bytes left free once the board and the filler are there
};

class SafetyDiskFull : public ::testing::TestWithParam<DiskFullCase> {};

TEST_P(SafetyDiskFull, BoardIntactNoPartialFileMessageShown) {
    TempDir dir("diskfull");
    TmpfsMount mount(dir / "fs", "size=1m,mode=0755");
    if (!mount.Ok()) {
        GTEST_SKIP() << "disk-full case not run: " << mount.Why();
    }
    const fs::path board = dir / "fs" / "board.kicad_pcb";
    const auto& gen = SmallBoard();
    WriteBytes(board, gen.original);

    const long want = FreeBytes(dir / "fs") - GetParam().freeAfterFiller;
    ASSERT_GT(want, 0);
    {
        int fd = open((dir / "fs" / "filler").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(posix_fallocate(fd, 0, want), 0);
        close(fd);
    }
    ASSERT_LT(FreeBytes(dir / "fs"), static_cast<long>(gen.expected.size()));

    Session s(board);
    ASSERT_GE(s.Load(), 0);
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Failed);
    EXPECT_TRUE(ReadBytes(board) == gen.original) << "the board changed";
    EXPECT_EQ(ListFolder(dir / "fs"), (std::vector<std::string>{"board.kicad_pcb", "filler"}));
    ExpectToldUser(s);

    // Room again: the next run works and leaves nothing behind either.
    fs::remove(dir / "fs" / "filler");
    ExpectNextRunWorks(board, gen.expected);
    EXPECT_EQ(ListFolder(dir / "fs"), (std::vector<std::string>{"board.kicad_pcb"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyDiskFull,
                         ::testing::Values(DiskFullCase{"NoRoomAtAll", 0},
                                           DiskFullCase{"OnePage", 4096},
                                           DiskFullCase{"ThirtyPages", 30 * 4096},
                                           DiskFullCase{"AlmostEnough", 190 * 1024}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SafetyDiskFullInodes, NoInodeLeftForTheTemporaryFile) {
    TempDir dir("inodes");
    // The root folder and the board take the only two inodes.
    TmpfsMount mount(dir / "fs", "size=4m,nr_inodes=2,mode=0755");
    if (!mount.Ok()) {
        GTEST_SKIP() << "inode-exhaustion case not run: " << mount.Why();
    }
    const fs::path board = dir / "fs" / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    {
        int fd = open((dir / "fs" / "probe").c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) {
            close(fd);
            GTEST_SKIP() << "this tmpfs does not limit inodes to nr_inodes";
        }
    }
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Failed);
    EXPECT_TRUE(ReadBytes(board) == SmallBoard().original);
    EXPECT_EQ(ListFolder(dir / "fs"), (std::vector<std::string>{"board.kicad_pcb"}));
    ExpectToldUser(s);
}

// ---------------------------------------------------------------------------------
// A folder (or board) that may not be written, in ways that bind root too.

TEST(SafetyNotWritable, ReadOnlyMount) {
    TempDir dir("romount");
    TmpfsMount mount(dir / "fs", "size=4m,mode=0755");
    if (!mount.Ok()) {
        GTEST_SKIP() << "read-only mount case not run: " << mount.Why();
    }
    const fs::path board = dir / "fs" / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    ASSERT_TRUE(mount.RemountReadOnly()) << mount.Why();
    EXPECT_NE(s.Apply(), rz::ApplyOutcome::Written);
    EXPECT_TRUE(ReadBytes(board) == SmallBoard().original);
    EXPECT_EQ(ListFolder(dir / "fs"), (std::vector<std::string>{"board.kicad_pcb"}));
    ExpectToldUser(s);
}

struct FlagCase {
    const char* name;
    bool onFolder; // else on the board itself
    int flag;
};

class SafetyInodeFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(SafetyInodeFlag, BoardIntactAndTold) {
    TempDir dir("flag");
    const fs::path folder = dir / "f";
    fs::create_directory(folder);
    const fs::path board = folder / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    std::string why;
    const fs::path flagged = GetParam().onFolder ? folder : board;
    if (!SetInodeFlag(flagged, GetParam().flag, true, &why)) {
        GTEST_SKIP() << "case not run, the file system refuses the flag: " << why;
    }
    const rz::ApplyOutcome outcome = s.Apply();
    const auto listing = ListFolder(folder);
    SetInodeFlag(flagged, GetParam().flag, false, nullptr);

    EXPECT_NE(outcome, rz::ApplyOutcome::Written);
    EXPECT_TRUE(ReadBytes(board) == SmallBoard().original);
    ExpectToldUser(s);
    if (GetParam().flag == FS_APPEND_FL && GetParam().onFolder) {
        // An append-only folder lets a file be made but neither renamed nor removed,
        // so the one temporary file stays; nothing is lost, and only root can make
        // such a folder.
        EXPECT_LE(listing.size(), 2u);
        EXPECT_EQ(listing.back(), "board.kicad_pcb");
    } else {
        EXPECT_EQ(listing, (std::vector<std::string>{"board.kicad_pcb"}));
    }
    ExpectNextRunWorks(board, SmallBoard().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyInodeFlag,
                         ::testing::Values(FlagCase{"ImmutableFolder", true, FS_IMMUTABLE_FL},
                                           FlagCase{"ImmutableBoard", false, FS_IMMUTABLE_FL},
                                           FlagCase{"AppendOnlyFolder", true, FS_APPEND_FL},
                                           FlagCase{"AppendOnlyBoard", false, FS_APPEND_FL}),
                         [](const auto& info) { return std::string(info.param.name); });

// Plain permission bits, as an ordinary user meets them: the run happens in a child
// that has given up root.
struct UserCase {
    const char* name;
    mode_t folderMode;
    mode_t boardMode;
    bool written;
};

class SafetyAsOrdinaryUser : public ::testing::TestWithParam<UserCase> {};

TEST_P(SafetyAsOrdinaryUser, PermissionBitsDecide) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to switch to an ordinary user";
    }
    TempDir dir("user");
    const fs::path folder = dir / "f";
    fs::create_directory(folder);
    const fs::path board = folder / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    const uid_t nobody = 65534;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chown(folder.c_str(), nobody, nobody), 0);
    ASSERT_EQ(chown(board.c_str(), nobody, nobody), 0);
    if (InChild([&] {
            return setgid(nobody) == 0 && setuid(nobody) == 0 && access(folder.c_str(), X_OK) == 0
                       ? 0
                       : 1;
        }) != 0) {
        GTEST_SKIP() << "an ordinary user cannot reach " << folder
                     << " (is the temporary folder private?)";
    }
    ASSERT_EQ(chmod(folder.c_str(), GetParam().folderMode), 0);
    ASSERT_EQ(chmod(board.c_str(), GetParam().boardMode), 0);

    // 0: written; 1: refused or failed with a message; 2: without a message; 3: load
    // failed; 4: could not drop root.
    const int code = InChild([&] {
        if (setgid(nobody) != 0 || setuid(nobody) != 0) {
            return 4;
        }
        Session s(board);
        if (s.Load() < 0) {
            return 3;
        }
        if (s.Apply() == rz::ApplyOutcome::Written) {
            return 0;
        }
        return s.dialogs.messages.empty() ? 2 : 1;
    });
    ASSERT_NE(code, 4);
    ASSERT_NE(code, 3);
    if (GetParam().written) {
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(ReadBytes(board) == SmallBoard().expected);
        struct stat st {};
        ASSERT_EQ(stat(board.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, GetParam().boardMode);
        EXPECT_EQ(st.st_uid, nobody);
    } else {
        EXPECT_EQ(code, 1) << "the rewrite was not refused with a message";
        EXPECT_TRUE(ReadBytes(board) == SmallBoard().original);
    }
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(ListFolder(folder), (std::vector<std::string>{"board.kicad_pcb"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyAsOrdinaryUser,
                         ::testing::Values(UserCase{"FolderWithoutWriteBit", 0555, 0644, false},
                                           UserCase{"FolderSearchOnly", 0355, 0644, true},
                                           UserCase{"ReadOnlyBoard", 0755, 0444, false},
                                           UserCase{"OwnerReadOnlyBoard", 0755, 0464, false},
                                           UserCase{"PrivateBoard", 0700, 0600, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// The board changes between loading and the rewrite (the window is up meanwhile).

struct ChangeCase {
    const char* name;
    // Acts on the board folder from another process; returns 0 when done.
    int (*act)(const fs::path& board);
    bool mayWrite; // the content on disk is still what was loaded
};

int ReplaceByFolder(const fs::path& board) {
    fs::remove(board);
    fs::create_directory(board);
    WriteBytes(board / "inside", "keep me");
    return 0;
}
int Delete(const fs::path& board) {
    return unlink(board.c_str());
}
int SaveSameSize(const fs::path& board) {
    // What a KiCad save of a small edit looks like: one digit different.
    std::string bytes = ReadBytes(board);
    std::size_t at = bytes.find("(drill 0.5");
    bytes[at + 8] = '7';
    WriteBytes(board, bytes);
    return 0;
}
int SaveLonger(const fs::path& board) {
    std::string bytes = ReadBytes(board);
    WriteBytes(board, bytes + "(gr_text \"neu\" (at 1 1))\n");
    return 0;
}
int Truncate(const fs::path& board) {
    return truncate(board.c_str(), 0);
}
int SaveByRename(const fs::path& board) {
    // Editors that save through a temporary file and rename it: a new inode, with
    // different content.
    std::string bytes = ReadBytes(board);
    bytes.insert(0, "(kicad_pcb)\n");
    WriteBytes(board.string() + ".new", bytes);
    return rename((board.string() + ".new").c_str(), board.c_str());
}
int SaveSameContentByRename(const fs::path& board) {
    std::string bytes = ReadBytes(board);
    WriteBytes(board.string() + ".new", bytes);
    return rename((board.string() + ".new").c_str(), board.c_str());
}
int Touch(const fs::path& board) {
    return utimensat(AT_FDCWD, board.c_str(), nullptr, 0);
}

class SafetyChangedBeforeApply : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(SafetyChangedBeforeApply, OtherProgramsSaveIsNeverOverwritten) {
    TempDir dir("changed");
    const fs::path board = dir / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    ASSERT_EQ(InChild([&] { return GetParam().act(board); }), 0);

    const bool wasFolder = fs::is_directory(board);
    const bool existed = fs::exists(board);
    const std::string onDisk = existed && !wasFolder ? ReadBytes(board) : std::string();
    const rz::ApplyOutcome outcome = s.Apply();

    if (GetParam().mayWrite) {
        EXPECT_EQ(outcome, rz::ApplyOutcome::Written) << DescribeMessages(s);
        EXPECT_TRUE(ReadBytes(board) == SmallBoard().expected);
    } else {
        EXPECT_NE(outcome, rz::ApplyOutcome::Written);
        ExpectToldUser(s);
        EXPECT_EQ(fs::exists(board), existed);
        EXPECT_EQ(fs::is_directory(board), wasFolder);
        if (wasFolder) {
            EXPECT_EQ(ReadBytes(board / "inside"), "keep me");
        } else if (existed) {
            EXPECT_TRUE(ReadBytes(board) == onDisk) << "the other program's save was lost";
        }
    }
    std::vector<std::string> expectedNames;
    if (existed) {
        expectedNames.push_back("board.kicad_pcb");
    }
    EXPECT_EQ(ListFolder(dir.Path()), expectedNames);
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyChangedBeforeApply,
                         ::testing::Values(ChangeCase{"ReplacedByFolder", ReplaceByFolder, false},
                                           ChangeCase{"Deleted", Delete, false},
                                           ChangeCase{"SavedSameSize", SaveSameSize, false},
                                           ChangeCase{"SavedLonger", SaveLonger, false},
                                           ChangeCase{"Truncated", Truncate, false},
                                           ChangeCase{"SavedByRename", SaveByRename, false},
                                           ChangeCase{"SameContentByRename",
                                                      SaveSameContentByRename, true},
                                           ChangeCase{"OnlyTouched", Touch, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Symbolic links: the file they point to is rewritten, the links stay links.

TEST(SafetySymbolicLink, TargetRewrittenLinksKept) {
    TempDir dir("symlink");
    fs::create_directories(dir / "real" / "deep");
    fs::create_directories(dir / "links");
    const fs::path target = dir / "real" / "deep" / "board.kicad_pcb";
    WriteBytes(target, SmallBoard().original);
    // A relative link to an absolute link to the file, so both kinds are followed.
    fs::create_symlink(target, dir / "real" / "abs.kicad_pcb");
    fs::create_symlink("../real/abs.kicad_pcb", dir / "links" / "board.kicad_pcb");

    Session s(dir / "links" / "board.kicad_pcb");
    ASSERT_GE(s.Load(), 0);
    EXPECT_EQ(s.Apply(), rz::ApplyOutcome::Written) << DescribeMessages(s);

    EXPECT_TRUE(ReadBytes(target) == SmallBoard().expected);
    EXPECT_TRUE(fs::is_symlink(dir / "links" / "board.kicad_pcb"));
    EXPECT_TRUE(fs::is_symlink(dir / "real" / "abs.kicad_pcb"));
    EXPECT_EQ(fs::read_symlink(dir / "links" / "board.kicad_pcb"), "../real/abs.kicad_pcb");
    EXPECT_EQ(fs::read_symlink(dir / "real" / "abs.kicad_pcb"), target);
    EXPECT_EQ(ListFolder(dir / "links"), (std::vector<std::string>{"board.kicad_pcb"}));
    EXPECT_EQ(ListFolder(dir / "real"), (std::vector<std::string>{"abs.kicad_pcb", "deep"}));
    EXPECT_EQ(ListFolder(dir / "real" / "deep"), (std::vector<std::string>{"board.kicad_pcb"}));
}

TEST(SafetySymbolicLink, LinkRetargetedBetweenLoadAndApply) {
    TempDir dir("relink");
    WriteBytes(dir / "a.kicad_pcb", SmallBoard().original);
    WriteBytes(dir / "b.kicad_pcb", "(kicad_pcb (other board))\n");
    fs::create_symlink("a.kicad_pcb", dir / "board.kicad_pcb");
    Session s(dir / "board.kicad_pcb");
    ASSERT_GE(s.Load(), 0);
    fs::remove(dir / "board.kicad_pcb");
    fs::create_symlink("b.kicad_pcb", dir / "board.kicad_pcb");

    EXPECT_NE(s.Apply(), rz::ApplyOutcome::Written);
    ExpectToldUser(s);
    EXPECT_TRUE(ReadBytes(dir / "a.kicad_pcb") == SmallBoard().original);
    EXPECT_EQ(ReadBytes(dir / "b.kicad_pcb"), "(kicad_pcb (other board))\n");
    EXPECT_EQ(fs::read_symlink(dir / "board.kicad_pcb"), "b.kicad_pcb");
    EXPECT_EQ(ListFolder(dir.Path()),
              (std::vector<std::string>{"a.kicad_pcb", "b.kicad_pcb", "board.kicad_pcb"}));
}

// ---------------------------------------------------------------------------------
// Permission bits and owner survive the rewrite.

class SafetyPermissionBits : public ::testing::TestWithParam<mode_t> {};

TEST_P(SafetyPermissionBits, Kept) {
    TempDir dir("mode");
    const fs::path board = dir / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    ASSERT_EQ(chmod(board.c_str(), GetParam()), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(board.c_str(), 4242, 4343), 0);
        ASSERT_EQ(chmod(board.c_str(), GetParam()), 0); // chown clears set-id bits
    }
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    ASSERT_EQ(s.Apply(), rz::ApplyOutcome::Written) << DescribeMessages(s);
    struct stat st {};
    ASSERT_EQ(stat(board.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, GetParam());
    if (root) {
        EXPECT_EQ(st.st_uid, 4242u);
        EXPECT_EQ(st.st_gid, 4343u);
    }
    EXPECT_TRUE(ReadBytes(board) == SmallBoard().expected);
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"board.kicad_pcb"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyPermissionBits,
                         ::testing::Values(0600, 0604, 0620, 0640, 0664, 0666, 0700, 0755, 0777,
                                           02664, 04750, 01644),
                         [](const auto& info) {
                             char buf[16];
                             std::snprintf(buf, sizeof buf, "Mode%04o", info.param);
                             return std::string(buf);
                         });

TEST(SafetyWriteProtected, BoardRefusedEvenForRoot) {
    TempDir dir("ro");
    const fs::path board = dir / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    ASSERT_EQ(chmod(board.c_str(), 0444), 0);
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    EXPECT_NE(s.Apply(), rz::ApplyOutcome::Written);
    ExpectToldUser(s);
    EXPECT_TRUE(ReadBytes(board) == SmallBoard().original);
    struct stat st {};
    ASSERT_EQ(stat(board.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"board.kicad_pcb"}));
}

// ---------------------------------------------------------------------------------
// Another process holds the board under a lock: reported, left intact.

enum class LockKind { FlockExclusive, FlockShared, RecordWrite, RecordRead };

struct LockCase {
    const char* name;
    LockKind kind;
};

// A child that locks the board and holds the lock until it is killed.
class LockHolder {
public:
    LockHolder(const fs::path& board, LockKind kind) {
        int ready[2];
        if (pipe(ready) != 0) {
            return;
        }
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const bool write = kind == LockKind::RecordWrite;
            int fd = open(board.c_str(), write ? O_RDWR : O_RDONLY);
            bool ok = fd >= 0;
            if (ok) {
                switch (kind) {
                case LockKind::FlockExclusive:
                    ok = flock(fd, LOCK_EX) == 0;
                    break;
                case LockKind::FlockShared:
                    ok = flock(fd, LOCK_SH) == 0;
                    break;
                case LockKind::RecordWrite:
                case LockKind::RecordRead: {
                    struct flock l {};
                    l.l_type = write ? F_WRLCK : F_RDLCK;
                    l.l_whence = SEEK_SET;
                    ok = fcntl(fd, F_SETLK, &l) == 0;
                    break;
                }
                }
            }
            char c = ok ? 'y' : 'n';
            (void)!::write(ready[1], &c, 1);
            for (;;) {
                pause();
            }
        }
        close(ready[1]);
        char c = 'n';
        ok_ = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~LockHolder() { Release(); }
    void Release() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    bool Ok() const { return ok_; }

private:
    pid_t pid_ = -1;
    bool ok_ = false;
};

class SafetyLocked : public ::testing::TestWithParam<LockCase> {};

TEST_P(SafetyLocked, AtLoading) {
    TempDir dir("lockload");
    const fs::path board = dir / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    LockHolder holder(board, GetParam().kind);
    ASSERT_TRUE(holder.Ok());
    Session s(board);
    EXPECT_EQ(s.Load(), -1) << "a locked board was read";
    ExpectToldUser(s);
    EXPECT_NE(s.Apply(), rz::ApplyOutcome::Written);
    holder.Release();
    EXPECT_TRUE(ReadBytes(board) == SmallBoard().original);
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"board.kicad_pcb"}));
    ExpectNextRunWorks(board, SmallBoard().expected);
}

TEST_P(SafetyLocked, BetweenLoadAndApply) {
    TempDir dir("lockapply");
    const fs::path board = dir / "board.kicad_pcb";
    WriteBytes(board, SmallBoard().original);
    Session s(board);
    ASSERT_GE(s.Load(), 0);
    LockHolder holder(board, GetParam().kind);
    ASSERT_TRUE(holder.Ok());
    EXPECT_NE(s.Apply(), rz::ApplyOutcome::Written);
    ExpectToldUser(s);
    holder.Release();
    EXPECT_TRUE(ReadBytes(board) == SmallBoard().original);
    EXPECT_EQ(ListFolder(dir.Path()), (std::vector<std::string>{"board.kicad_pcb"}));
    ExpectNextRunWorks(board, SmallBoard().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyLocked,
                         ::testing::Values(LockCase{"FlockExclusive", LockKind::FlockExclusive},
                                           LockCase{"FlockShared", LockKind::FlockShared},
                                           LockCase{"RecordWriteLock", LockKind::RecordWrite},
                                           LockCase{"RecordReadLock", LockKind::RecordRead}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
