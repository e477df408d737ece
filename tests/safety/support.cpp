#include "support.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rzsafe {

namespace {

std::string ErrnoText(const std::string& what) {
    const int error = errno; // before any allocation can touch it
    return what + ": " + std::strerror(error);
}

void ClearFlagsBelow(const fs::path& root) {
    std::error_code ec;
    SetInodeFlag(root, FS_IMMUTABLE_FL | FS_APPEND_FL, false, nullptr);
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) {
            SetInodeFlag(it->path(), FS_IMMUTABLE_FL | FS_APPEND_FL, false, nullptr);
        }
    }
}

} // namespace

TempDir::TempDir(const std::string& tag) {
    std::string pattern = (fs::temp_directory_path() / ("rz-safety-" + tag + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error(ErrnoText("mkdtemp"));
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    // A test that failed half-way may have left a mount or a flag behind.
    umount2(path_.c_str(), MNT_DETACH);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory() && !it->is_symlink()) {
            umount2(it->path().c_str(), MNT_DETACH);
        }
    }
    ClearFlagsBelow(path_);
    chmod(path_.c_str(), 0700);
    fs::remove_all(path_, ec);
}

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + p.string());
    }
    std::ostringstream s;
    s << in.rdbuf();
    return std::move(s).str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + p.string());
    }
}

std::vector<std::string> ListFolder(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TmpfsMount::TmpfsMount(const fs::path& where, const std::string& options) : where_(where) {
    fs::create_directories(where_);
    if (mount("rz-safety", where_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        why_ = ErrnoText("mount tmpfs") + " (the test needs root or CAP_SYS_ADMIN)";
        return;
    }
    ok_ = true;
}

TmpfsMount::~TmpfsMount() {
    if (ok_) {
        umount2(where_.c_str(), MNT_DETACH);
    }
}

bool TmpfsMount::RemountReadOnly() {
    if (mount(nullptr, where_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
              nullptr) != 0) {
        why_ = ErrnoText("remount read-only");
        return false;
    }
    return true;
}

bool SetInodeFlag(const fs::path& p, int flag, bool on, std::string* why) {
    int fd = open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (why) {
            *why = ErrnoText("open for flags");
        }
        return false;
    }
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | flag) : (flags & ~flag);
        ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (!ok && why) {
        *why = ErrnoText("inode flags (chattr) on " + p.string());
    }
    close(fd);
    return ok;
}

rz::Text ScriptedDialogs::ChooseOpenFile(const rz::Text&, const rz::Text&, const rz::Text&,
                                         int32_t) {
    return rz::Utf8ToText(path_);
}

int32_t ScriptedDialogs::ShowMessage(const rz::Text& title, const rz::Text& text, uint32_t) {
    messages.push_back({rz::TextToUtf8(title), rz::TextToUtf8(text)});
    return 1;
}

int32_t Session::Load() {
    state.LastLineIndex = rz::LoadBoardFile(state, dialogs);
    rz::CollectPadDrills(state);
    rz::SortDrillTokens(state);
    rows = rz::PrepareDrillRows(state);
    return state.LastLineIndex;
}

int InChild(const std::function<int()>& fn) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        int code = 99;
        try {
            code = fn();
        } catch (...) {
            code = 98;
        }
        _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

// Pad drill values in thousandths of a millimetre. Values within 0.002 of a half step
// are left out so that 32-bit rounding cannot make the expected result ambiguous, and
// 0.254 is kept for vias only.
std::vector<int> DrillValues(std::size_t count) {
    std::vector<int> values;
    for (int n = 500; values.size() < count; ++n) {
        int r = n % 100;
        if ((r >= 48 && r <= 52) || n == 254) {
            continue;
        }
        values.push_back(n);
    }
    return values;
}

std::string ValueText(int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%03d", n / 1000, n % 1000);
    return buf;
}

std::string RoundedText(int n) {
    int tenths = (n + 50) / 100;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%d", tenths / 10, tenths % 10);
    return buf;
}

struct BoardWriter {
    GeneratedBoard& b;
    bool singleLine;
    std::size_t counter = 0;

    void Line(const std::string& orig, const std::string& exp) {
        if (singleLine) {
            b.original += orig;
            b.expected += exp;
            return;
        }
        ++counter;
        // Mostly LF, with CR LF and lone CR mixed in: all three must come back as CR LF.
        const char* end = counter % 97 == 0 ? "\r\n" : (counter % 1013 == 0 ? "\r" : "\n");
        b.original += orig;
        b.original += end;
        b.expected += exp;
        b.expected += "\r\n";
        ++b.lines;
    }
    void Same(const std::string& text) { Line(text, text); }
};

} // namespace

GeneratedBoard GenerateBoard(const BoardShape& shape) {
    GeneratedBoard b;
    const std::vector<int> values = DrillValues(shape.distinctDrills);
    b.distinctPadDrills = values.size();
    std::mt19937 rng(shape.seed);
    BoardWriter w{b, shape.singleLine};
    const std::string in = shape.singleLine ? " " : "\t";
    const std::string in2 = shape.singleLine ? " " : "\t\t";
    const std::string in3 = shape.singleLine ? " " : "\t\t\t";

    w.Same("(kicad_pcb (version 20240108) (generator \"pcbnew\")");
    // A via marker inside a quoted string: harmless on its own line, but on a one-line
    // board it would take the whole line out of the collection.
    const std::string quoted = shape.singleLine ? "\\\"quoted\\\"" : "\\\"quoted (via \\\"";
    w.Same(in + "(title_block (comment 1 \"Grüße, Ω, µ, 測試, 😀 – " + quoted + " text\"))");
    std::size_t pad = 0;
    std::size_t footprint = 0;
    // In one-line form only the first drill token of the line is replaced, so the
    // expected bytes are worked out once at the end.
    while (b.original.size() < shape.targetBytes || pad < values.size()) {
        ++footprint;
        w.Same(in + "(footprint \"Rz:R_" + std::to_string(footprint) + "\" (layer \"F.Cu\")");
        w.Same(in2 + "(at " + std::to_string(rng() % 200) + " " + std::to_string(rng() % 200) +
               ")");
        for (int k = 0; k < 3; ++k, ++pad) {
            int n = values[pad % values.size()];
            std::string tok = "(drill " + ValueText(n) + ")";
            std::string newTok = "(drill " + RoundedText(n) + ")";
            if (k == 2 && !shape.singleLine) {
                // The current block layout: the drill on a line of its own.
                w.Same(in2 + "(pad \"" + std::to_string(k + 1) + "\" thru_hole circle");
                w.Same(in3 + "(at 2.54 0)");
                w.Line(in3 + tok, in3 + newTok);
                w.Same(in3 + "(layers \"*.Cu\" \"*.Mask\")");
                w.Same(in2 + ")");
            } else {
                std::string head = in2 + "(pad \"" + std::to_string(k + 1) +
                                   "\" thru_hole circle (at 0 0) (size 1.6 1.6) ";
                w.Line(head + tok + " (layers \"*.Cu\" \"*.Mask\"))",
                       head + newTok + " (layers \"*.Cu\" \"*.Mask\"))");
            }
        }
        if (!shape.singleLine && footprint % 5 == 1) {
            w.Line(in2 + "(pad \"4\" thru_hole oval (at 5 0) (size 1.6 2) (drill oval 1.02 2.03))",
                   in2 + "(pad \"4\" thru_hole oval (at 5 0) (size 1.6 2) (drill oval 1.0 2.0))");
            w.Line(in2 + "(pad \"5\" thru_hole circle (at 7 0) (size 2 2) (drill 0.75 (offset 0 "
                         "0.4)) (layers \"*.Cu\"))",
                   in2 + "(pad \"5\" thru_hole circle (at 7 0) (size 2 2) (drill 0.8 (offset 0 "
                         "0.4)) (layers \"*.Cu\"))");
        }
        w.Same(in + ")");
        if (!shape.singleLine) {
            // A via-only size, in both layouts: never listed, never changed.
            w.Same(in + "(via (at 10 10) (size 0.6) (drill 0.254) (layers \"F.Cu\" \"B.Cu\"))");
            w.Same(in + "(via");
            w.Same(in2 + "(at 12 10)");
            w.Same(in2 + "(drill 0.254)");
            w.Same(in2 + "(layers \"F.Cu\" \"B.Cu\")");
            w.Same(in + ")");
            // A via sharing a pad's size is changed with it.
            int n = values[0];
            w.Line(in + "(via (at 1 1) (size 0.8) (drill " + ValueText(n) + ") (net 1))",
                   in + "(via (at 1 1) (size 0.8) (drill " + RoundedText(n) + ") (net 1))");
        }
    }
    w.Same(")");
    if (shape.singleLine) {
        // Only the first drill token of a line is collected.
        b.lines = 1;
        b.distinctPadDrills = 1;
        const std::string first = "(drill " + ValueText(values[0]) + ")";
        const std::string repl = "(drill " + RoundedText(values[0]) + ")";
        std::string exp;
        exp.reserve(b.original.size() + 2);
        std::size_t at = 0;
        for (std::size_t hit; (hit = b.original.find(first, at)) != std::string::npos;
             at = hit + first.size()) {
            exp.append(b.original, at, hit - at);
            exp += repl;
        }
        exp.append(b.original, at, std::string::npos);
        exp += "\r\n";
        b.expected = std::move(exp);
    }
    return b;
}

std::string CliPath() {
#ifdef REZURUDEV_CLI_PATH
    return REZURUDEV_CLI_PATH;
#else
    return "rezurudev-cli";
#endif
}

ChildRun RunProgram(const std::vector<std::string>& argv, bool capture) {
    ChildRun r;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (capture && (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)) {
        throw std::runtime_error(ErrnoText("pipe"));
    }
    auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (capture) {
            dup2(outPipe[1], 1);
            dup2(errPipe[1], 2);
        } else {
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        const std::string why = ErrnoText("cannot start " + argv[0]) + "\n";
        (void)!write(2, why.data(), why.size());
        _exit(127);
    }
    if (capture) {
        close(outPipe[1]);
        close(errPipe[1]);
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&r.out, &r.err};
        int open = 2;
        while (open > 0) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                    char buf[65536];
                    ssize_t n = read(fds[i].fd, buf, sizeof buf);
                    if (n > 0) {
                        sinks[i]->append(buf, static_cast<std::size_t>(n));
                    } else {
                        close(fds[i].fd);
                        fds[i].fd = -1;
                        --open;
                    }
                }
            }
        }
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.maxRssKiB = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        r.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
    return r;
}

std::u16string DrillSkeleton(const std::u16string& line) {
    static const std::u16string marker = u"(drill ";
    std::u16string out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = line.find(marker, at)) != std::u16string::npos;) {
        out.append(line, at, hit - at);
        out += u'#';
        std::size_t close = line.find(u')', hit);
        at = close == std::u16string::npos ? line.size() : close + 1;
    }
    out.append(line, at, std::u16string::npos);
    return out;
}

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(std::move(cur));
            cur.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) {
        lines.push_back(std::move(cur));
    }
    return lines;
}

} // namespace rzsafe
