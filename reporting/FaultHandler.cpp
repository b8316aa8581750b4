#include "reporting/FaultHandler.h"

#include "reporting/ExceptionTracking.h"
#include "reporting/ProblemReport.h"
#include "widgets/ErrorHandling.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <elf.h>
#include <exception>
#include <fcntl.h>
#include <link.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#include <vector>

namespace FaultHandler {
namespace {

// Everything the handler touches is prepared beforehand: no allocation, no
// locks, no library calls beyond the signal-safe system calls (the stack walk,
// done last, is the one exception).
char crashPath[4096];
char executablePath[4096];
char buildIdText[2 * 64 + 1];
char mapsText[512 * 1024];
char altStack[64 * 1024];
pid_t mainThreadId = 0;

// Only the first fault writes a report: an abort or a second fault while it
// is being written must not replace it.
std::atomic_flag reporting = ATOMIC_FLAG_INIT;

// The text of the last qFatal, for the report of the abort that follows it.
char fatalText[2048];
std::atomic<int> fatalLength{0};
QtMessageHandler previousMessageHandler = nullptr;
std::terminate_handler previousTerminate = nullptr;

struct Module {
    std::uintptr_t base, end;
    const char* path;
    int pathLen;
};
Module modules[1024];
int moduleCount = 0;

// Text written through a fixed buffer: to a file when given one, otherwise
// kept (and cut at the buffer's end).
class Writer {
public:
    explicit Writer(int fd = -1)
        : fd_(fd) {}
    ~Writer() { flush(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Writer& text(const char* s, int len = -1) {
        if (len < 0)
            len = int(std::strlen(s));
        for (int i = 0; i < len; ++i) {
            if (used_ == sizeof(buf_)) {
                if (fd_ < 0)
                    return *this;
                flush();
            }
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
        if (fd_ < 0)
            return;
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
    const char* data() const { return buf_; }
    int size() const { return used_; }

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

// The GNU build id among the notes of one note segment, in hex.
QByteArray buildIdInNotes(const char* notes, std::size_t size, std::size_t align) {
    const auto padded = [align](std::size_t n) { return (n + align - 1) & ~(align - 1); };
    std::size_t pos = 0;
    while (pos <= size && size - pos >= sizeof(ElfW(Nhdr))) {
        ElfW(Nhdr) note;
        std::memcpy(&note, notes + pos, sizeof(note));
        const std::size_t name = pos + sizeof(note);
        if (note.n_namesz > size - name)
            break;
        const std::size_t desc = name + padded(note.n_namesz);
        if (desc > size || note.n_descsz > size - desc)
            break;
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
            std::memcmp(notes + name, "GNU", 4) == 0)
            return QByteArray(notes + desc, qsizetype(note.n_descsz)).toHex();
        pos = desc + padded(note.n_descsz);
    }
    return {};
}

std::size_t noteAlignment(const ElfW(Phdr) & segment) {
    return segment.p_align == 8 ? 8 : 4;
}

int programBuildId(dl_phdr_info* info, size_t, void* data) {
    auto* id = static_cast<QByteArray*>(data);
    for (int i = 0; i < info->dlpi_phnum && id->isEmpty(); ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_NOTE)
            *id = buildIdInNotes(reinterpret_cast<const char*>(info->dlpi_addr + segment.p_vaddr),
                                 segment.p_memsz, noteAlignment(segment));
    }
    return 1; // the first entry is the program itself
}

// The message and class of a signal's report; returns the class.
const char* describe(Writer& message, int sig, const siginfo_t* info, std::uintptr_t pc) {
    switch (sig) {
    case SIGSEGV:
    case SIGBUS:
        message.text("Access violation at address ")
            .hex(pc)
            .text(" accessing address ")
            .hex(std::uintptr_t(info->si_addr));
        return sig == SIGSEGV ? "SIGSEGV" : "SIGBUS";
    case SIGFPE:
        message.text("Arithmetic fault (division by zero or overflow) at address ").hex(pc);
        return "SIGFPE";
    case SIGABRT:
        // qFatal ends in abort: its text says what went wrong.
        if (const int n = fatalLength.load(); n > 0)
            message.text(fatalText, n);
        else
            message.text("The program was aborted");
        return "SIGABRT";
    default:
        message.text("Illegal instruction at address ").hex(pc);
        return "SIGILL";
    }
}

int openCrashFile() {
    return ::open(crashPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

// The first lines of a report: what happened and where, then the program.
void writeHeader(Writer& out, const char* message, int messageLength, const char* className,
                 std::uintptr_t address) {
    out.text("PELLORAN-CRASH 1\n");
    int from = 0;
    for (int i = 0; i <= messageLength; ++i) {
        if (i == messageLength || message[i] == '\n') {
            out.text("message ").text(message + from, i - from).text("\n");
            from = i + 1;
        }
    }
    out.text("class ").text(className).text("\n");
    out.text("address ").hex(address).text("\n");
    out.text("mainthread ").dec(pid_t(syscall(SYS_gettid)) == mainThreadId ? 1 : 0).text("\n");
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    out.text("time ").dec(now.tv_sec).text("\n");
    out.text("exe ").text(executablePath).text("\n");
    if (buildIdText[0])
        out.text("buildid ").text(buildIdText).text("\n");
    out.flush();
}

void writeFrame(Writer& out, std::uintptr_t address) {
    out.text("frame ").hex(address);
    if (const Module* m = moduleOf(address))
        out.text(" ").hex(address - m->base).text(" ").text(m->path, m->pathLen);
    out.text("\n");
}

void writeModules(Writer& out) {
    for (int i = 0; i < moduleCount; ++i)
        out.text("module ")
            .hex(modules[i].base)
            .text(" ")
            .text(modules[i].path, modules[i].pathLen)
            .text("\n");
    out.flush();
}

// The stack walk comes last: the unwinder is not async-signal-safe and may
// fault or hang on a damaged stack, and what was written before stays.
void writeWalkedFrames(Writer& out, std::uintptr_t pc) {
    constexpr int kMaxFrames = 128;
    std::uintptr_t walked[kMaxFrames];
    // A walk that hangs must not keep the failed program alive.
    alarm(10);
    const int n = ExceptionTracking::captureStack(walked, kMaxFrames, 0);
    alarm(0);
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
    for (int i = from; i < n; ++i)
        writeFrame(out, walked[i]);
    out.flush();
}

void onFault(int sig, siginfo_t* info, void* context) {
    if (!reporting.test_and_set()) {
        const std::uintptr_t pc = faultingInstruction(context);
        Writer message;
        const char* className = describe(message, sig, info, pc);
        const int fd = openCrashFile();
        if (fd >= 0) {
            {
                Writer out(fd);
                writeHeader(out, message.data(), message.size(), className, pc);
                readModules();
                writeFrame(out, pc);
                writeModules(out);
                writeWalkedFrames(out, pc);
            }
            ::close(fd);
        }
    }
    // End the program the way the fault would have: default action, same signal.
    signal(sig, SIG_DFL);
    raise(sig);
}

// An exception nobody caught (or one leaving a noexcept function): the report
// shows it with the stack recorded when it was raised.
[[noreturn]] void onTerminate() {
    if (!reporting.test_and_set()) {
        QByteArray message;
        QByteArray className;
        std::vector<std::uintptr_t> frames;
        try {
            if (const std::exception_ptr error = std::current_exception()) {
                message = ErrorHandling::messageOf(error).toUtf8();
                className = ProblemReport::exceptionClassName(error).toUtf8();
                if (auto record = ExceptionTracking::currentThreadRecord())
                    frames = std::move(record->frames);
            }
        } catch (...) {
            // Whatever can be told is told below.
        }
        if (className.isEmpty()) {
            className = "std::terminate";
            message = "std::terminate was called without an exception";
        }
        if (frames.empty()) {
            std::uintptr_t walked[128];
            const int n = ExceptionTracking::captureStack(walked, 128, 1);
            frames.assign(walked, walked + n);
        }
        const int fd = openCrashFile();
        if (fd >= 0) {
            {
                Writer out(fd);
                writeHeader(out, message.constData(), int(message.size()), className.constData(),
                            frames.empty() ? 0 : frames.front());
                readModules();
                for (std::uintptr_t address : frames)
                    writeFrame(out, address);
                writeModules(out);
            }
            ::close(fd);
        }
    }
    // The runtime's own handler still says what ended the program; the abort
    // it ends in must not write a second report.
    signal(SIGABRT, SIG_DFL);
    if (previousTerminate)
        previousTerminate();
    std::abort();
}

void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        const QByteArray utf8 = text.toUtf8();
        const int n = int(std::min<qsizetype>(utf8.size(), qsizetype(sizeof(fatalText))));
        std::memcpy(fatalText, utf8.constData(), std::size_t(n));
        fatalLength.store(n);
    }
    if (previousMessageHandler)
        previousMessageHandler(type, context, text);
}

} // namespace

QByteArray ownBuildId() {
    QByteArray id;
    dl_iterate_phdr(&programBuildId, &id);
    return id;
}

QByteArray buildIdOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    ElfW(Ehdr) header;
    if (file.read(reinterpret_cast<char*>(&header), sizeof(header)) != qint64(sizeof(header)) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
        header.e_phentsize != sizeof(ElfW(Phdr)))
        return {};
    for (int i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment;
        if (!file.seek(qint64(header.e_phoff + i * sizeof(segment))) ||
            file.read(reinterpret_cast<char*>(&segment), sizeof(segment)) !=
                qint64(sizeof(segment)))
            return {};
        if (segment.p_type != PT_NOTE || segment.p_filesz > 64 * 1024 ||
            !file.seek(qint64(segment.p_offset)))
            continue;
        const QByteArray notes = file.read(qint64(segment.p_filesz));
        const QByteArray id =
            buildIdInNotes(notes.constData(), std::size_t(notes.size()), noteAlignment(segment));
        if (!id.isEmpty())
            return id;
    }
    return {};
}

bool isSameBuild(const CrashRecord& crash) {
    return !crash.buildId.isEmpty() && buildIdOfFile(crash.executable) == crash.buildId;
}

void install(const QString& crashFile) {
    const QByteArray path = QFile::encodeName(crashFile);
    std::memset(crashPath, 0, sizeof(crashPath));
    std::memcpy(crashPath, path.constData(),
                std::min<std::size_t>(path.size(), sizeof(crashPath) - 1));
    mainThreadId = getpid();
    std::memset(executablePath, 0, sizeof(executablePath));
    if (::readlink("/proc/self/exe", executablePath, sizeof(executablePath) - 1) < 0)
        executablePath[0] = '\0';
    const QByteArray id = ownBuildId().left(qsizetype(sizeof(buildIdText) - 1));
    std::memset(buildIdText, 0, sizeof(buildIdText));
    std::memcpy(buildIdText, id.constData(), std::size_t(id.size()));

    // Make the first stack walk now: it loads the unwinder, which the handler must not do.
    std::uintptr_t warm[4];
    ExceptionTracking::captureStack(warm, 4, 0);

    // A stack overflow leaves no stack for the handler; give it its own. Only
    // this thread, the main thread, gets one: it runs all of our own code. The
    // other threads are Qt's and the libraries' (network, D-Bus, display
    // connection), started where we cannot reach them. A fault in one of them
    // still reaches the handler on that thread's own stack; only a stack
    // overflow there, which leaves the handler no room, ends the program
    // without a report.
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof(altStack);
    sigaltstack(&ss, nullptr);

    struct sigaction action {};
    action.sa_sigaction = &onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(sig, &action, nullptr);

    // Installed once, even when called again, so neither hands on to itself.
    if (const auto previous = std::set_terminate(&onTerminate); previous != &onTerminate)
        previousTerminate = previous;
    if (const auto previous = qInstallMessageHandler(&onMessage); previous != &onMessage)
        previousMessageHandler = previous;
}

std::optional<CrashRecord> readCrashFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.readLine().trimmed() != "PELLORAN-CRASH 1")
        return std::nullopt;
    CrashRecord rec;
    bool ok = true;
    bool hasMessage = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const int space = line.indexOf(u' ');
        const QString key = line.left(space);
        const QString value = space < 0 ? QString() : line.mid(space + 1);
        if (key == QLatin1String("message")) {
            // A message of several lines comes as several message lines.
            if (hasMessage)
                rec.message += u'\n';
            rec.message += value;
            hasMessage = true;
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
        } else if (key == QLatin1String("buildid")) {
            rec.buildId = value.toLatin1();
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
