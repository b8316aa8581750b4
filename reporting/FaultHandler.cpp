#include "reporting/FaultHandler.h"

#include "reporting/ExceptionTracking.h"

#include <QFile>

#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace FaultHandler {
namespace {

// Everything the handler touches is prepared beforehand: no allocation, no
// locks, no library calls beyond the signal-safe system calls.
char crashPath[4096];
char executablePath[4096];
char mapsText[512 * 1024];
char altStack[64 * 1024];
pid_t mainThreadId = 0;

struct Module {
    std::uintptr_t base, end;
    const char* path;
    int pathLen;
};
Module modules[1024];
int moduleCount = 0;

class Writer {
public:
    explicit Writer(int fd)
        : fd_(fd) {}
    ~Writer() { flush(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Writer& text(const char* s, int len = -1) {
        if (len < 0)
            len = int(std::strlen(s));
        for (int i = 0; i < len; ++i) {
            if (used_ == sizeof(buf_))
                flush();
            buf_[used_++] = s[i];
        }
        return *this;
    }
    Writer& hex(std::uintptr_t v) {
        char digits[2 * sizeof(v)];
        int n = 0;
        do {
            digits[n++] = "0123456789ABCDEF"[v & 0xF];
            v >>= 4;
        } while (v);
        char out[sizeof(digits)];
        for (int i = 0; i < n; ++i)
            out[i] = digits[n - 1 - i];
        return text(out, n);
    }
    Writer& dec(long long v) {
        char digits[24];
        int n = 0;
        const bool negative = v < 0;
        unsigned long long u = negative ? 0ULL - static_cast<unsigned long long>(v)
                                        : static_cast<unsigned long long>(v);
        do {
            digits[n++] = char('0' + u % 10);
            u /= 10;
        } while (u);
        if (negative)
            text("-", 1);
        char out[sizeof(digits)];
        for (int i = 0; i < n; ++i)
            out[i] = digits[n - 1 - i];
        return text(out, n);
    }
    void flush() {
        const char* p = buf_;
        while (used_ > 0) {
            const ssize_t w = ::write(fd_, p, std::size_t(used_));
            if (w <= 0)
                break;
            p += w;
            used_ -= int(w);
        }
        used_ = 0;
    }

private:
    int fd_;
    char buf_[4096];
    int used_ = 0;
};

std::uintptr_t parseHex(const char*& p, const char* end) {
    std::uintptr_t v = 0;
    for (; p < end; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9')
            v = v * 16 + std::uintptr_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            v = v * 16 + std::uintptr_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v = v * 16 + std::uintptr_t(c - 'A' + 10);
        else
            break;
    }
    return v;
}

// Reads /proc/self/maps and builds the table of mapped files.
void readModules() {
    moduleCount = 0;
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    std::size_t size = 0;
    while (size < sizeof(mapsText)) {
        const ssize_t r = ::read(fd, mapsText + size, sizeof(mapsText) - size);
        if (r <= 0)
            break;
        size += std::size_t(r);
    }
    ::close(fd);
    const char* p = mapsText;
    const char* end = mapsText + size;
    while (p < end) {
        const char* lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        // start-end perms offset dev inode path
        const char* q = p;
        const std::uintptr_t start = parseHex(q, lineEnd);
        ++q;
        const std::uintptr_t stop = parseHex(q, lineEnd);
        while (q < lineEnd && *q == ' ')
            ++q;
        while (q < lineEnd && *q != ' ')
            ++q; // permissions
        while (q < lineEnd && *q == ' ')
            ++q;
        const std::uintptr_t offset = parseHex(q, lineEnd);
        for (int field = 0; field < 2 && q < lineEnd; ++field) {
            while (q < lineEnd && *q == ' ')
                ++q;
            while (q < lineEnd && *q != ' ')
                ++q;
        }
        while (q < lineEnd && *q == ' ')
            ++q;
        const int pathLen = int(lineEnd - q);
        if (pathLen > 0 && *q == '/') {
            Module* last = moduleCount ? &modules[moduleCount - 1] : nullptr;
            if (last && last->pathLen == pathLen &&
                std::memcmp(last->path, q, std::size_t(pathLen)) == 0) {
                last->end = stop;
            } else if (offset == 0 && moduleCount < int(std::size(modules))) {
                modules[moduleCount++] = {start, stop, q, pathLen};
            }
        }
        p = lineEnd + 1;
    }
}

const Module* moduleOf(std::uintptr_t address) {
    for (int i = 0; i < moduleCount; ++i)
        if (address >= modules[i].base && address < modules[i].end)
            return &modules[i];
    return nullptr;
}

std::uintptr_t faultingInstruction(void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return std::uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return std::uintptr_t(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return std::uintptr_t(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

void describe(Writer& out, int sig, const siginfo_t* info, std::uintptr_t pc) {
    out.text("message ");
    switch (sig) {
    case SIGSEGV:
    case SIGBUS:
        out.text("Access violation at address ")
            .hex(pc)
            .text(" accessing address ")
            .hex(std::uintptr_t(info->si_addr));
        break;
    case SIGFPE:
        out.text("Arithmetic fault (division by zero or overflow) at address ").hex(pc);
        break;
    default:
        out.text("Illegal instruction at address ").hex(pc);
        break;
    }
    out.text("\nclass ");
    out.text(sig == SIGSEGV  ? "SIGSEGV"
             : sig == SIGBUS ? "SIGBUS"
             : sig == SIGFPE ? "SIGFPE"
                             : "SIGILL");
    out.text("\n");
}

void onFault(int sig, siginfo_t* info, void* context) {
    const std::uintptr_t pc = faultingInstruction(context);
    constexpr int kMaxFrames = 128;
    std::uintptr_t frames[kMaxFrames];
    frames[0] = pc;
    std::uintptr_t walked[kMaxFrames];
    const int n = ExceptionTracking::captureStack(walked, kMaxFrames, 0);
    // The walk passes this handler and the signal trampoline before reaching
    // the faulting frame; keep what lies outward of that frame.
    int from = n;
    for (int i = 0; i < n; ++i)
        if (walked[i] == pc) {
            from = i + 1;
            break;
        }
    if (from == n)
        from = n > 2 ? 2 : n;
    int count = 1;
    for (int i = from; i < n && count < kMaxFrames; ++i)
        frames[count++] = walked[i];

    const int fd = ::open(crashPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        readModules();
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        {
            Writer out(fd);
            out.text("PELLORAN-CRASH 1\n");
            describe(out, sig, info, pc);
            out.text("address ").hex(pc).text("\n");
            out.text("mainthread ")
                .dec(pid_t(syscall(SYS_gettid)) == mainThreadId ? 1 : 0)
                .text("\n");
            out.text("time ").dec(now.tv_sec).text("\n");
            out.text("exe ").text(executablePath).text("\n");
            for (int i = 0; i < count; ++i) {
                out.text("frame ").hex(frames[i]);
                if (const Module* m = moduleOf(frames[i]))
                    out.text(" ").hex(frames[i] - m->base).text(" ").text(m->path, m->pathLen);
                out.text("\n");
            }
            for (int i = 0; i < moduleCount; ++i)
                out.text("module ")
                    .hex(modules[i].base)
                    .text(" ")
                    .text(modules[i].path, modules[i].pathLen)
                    .text("\n");
        }
        ::close(fd);
    }
    // End the program the way the fault would have: default action, same signal.
    signal(sig, SIG_DFL);
    raise(sig);
}

} // namespace

void install(const QString& crashFile) {
    const QByteArray path = QFile::encodeName(crashFile);
    std::memset(crashPath, 0, sizeof(crashPath));
    std::memcpy(crashPath, path.constData(),
                std::min<std::size_t>(path.size(), sizeof(crashPath) - 1));
    mainThreadId = getpid();
    std::memset(executablePath, 0, sizeof(executablePath));
    if (::readlink("/proc/self/exe", executablePath, sizeof(executablePath) - 1) < 0)
        executablePath[0] = '\0';

    // Make the first stack walk now: it loads the unwinder, which the handler must not do.
    std::uintptr_t warm[4];
    ExceptionTracking::captureStack(warm, 4, 0);

    // A stack overflow leaves no stack for the handler; give it its own.
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof(altStack);
    sigaltstack(&ss, nullptr);

    struct sigaction action {};
    action.sa_sigaction = &onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        sigaction(sig, &action, nullptr);
}

std::optional<CrashRecord> readCrashFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.readLine().trimmed() != "PELLORAN-CRASH 1")
        return std::nullopt;
    CrashRecord rec;
    bool ok = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).chopped(0).trimmed();
        const int space = line.indexOf(u' ');
        const QString key = line.left(space);
        const QString value = space < 0 ? QString() : line.mid(space + 1);
        if (key == QLatin1String("message")) {
            rec.message = value;
        } else if (key == QLatin1String("class")) {
            rec.className = value;
        } else if (key == QLatin1String("address")) {
            rec.address = std::uintptr_t(value.toULongLong(&ok, 16));
        } else if (key == QLatin1String("mainthread")) {
            rec.mainThread = value == QLatin1String("1");
        } else if (key == QLatin1String("time")) {
            rec.time = QDateTime::fromSecsSinceEpoch(value.toLongLong());
        } else if (key == QLatin1String("exe")) {
            rec.executable = value;
        } else if (key == QLatin1String("frame")) {
            const QStringList parts = value.split(u' ');
            CrashFrame f;
            f.address = std::uintptr_t(parts.value(0).toULongLong(&ok, 16));
            if (parts.size() >= 3) {
                f.offset = std::uintptr_t(parts[1].toULongLong(nullptr, 16));
                f.module = value.section(u' ', 2);
            }
            rec.frames << f;
        } else if (key == QLatin1String("module")) {
            const int sp = value.indexOf(u' ');
            rec.modules.append(
                {std::uintptr_t(value.left(sp).toULongLong(nullptr, 16)), value.mid(sp + 1)});
        }
        if (!ok)
            return std::nullopt;
    }
    return rec;
}

} // namespace FaultHandler
