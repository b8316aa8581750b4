#include "reporting/ProblemReport.h"

#include "reporting/AddressResolver.h"
#include "version.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cxxabi.h>
#include <link.h>
#include <sys/utsname.h>
#include <thread>
#include <typeinfo>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define PELLORAN_X86 1
#endif

namespace ProblemReport {

QStringList messageLines(const QString& message) {
    QString text = message;
    if (!text.endsWith(u'.'))
        text += u'.';
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text.split(u'\n');
}

QStringList exceptionBlock(const QString& message, const QString& className, std::uintptr_t address,
                           bool mainThread) {
    QStringList lines = messageLines(message);
    lines << QStringLiteral("Exception class: ") + className
          << QStringLiteral("Exception address: ") + formatCodeAddress(address)
          << QStringLiteral("IsMainThread: ") +
                 (mainThread ? QStringLiteral("True") : QStringLiteral("False"))
          << QString();
    return lines;
}

QString exceptionClassName(std::exception_ptr error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        if (!type)
            return {};
        int status = 0;
        char* plain = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        const QString name = QString::fromUtf8(status == 0 && plain ? plain : type->name());
        std::free(plain);
        return name;
    }
}

QStringList stackBlock(const QDateTime& generated, const QStringList& lines) {
    const QLocale locale = QLocale::system();
    const QString when = locale.toString(generated.date(), QLocale::ShortFormat) + u' ' +
                         locale.toString(generated.time(), QLocale::LongFormat);
    QStringList block;
    block << QStringLiteral("Stack list, generated ") + when;
    block << lines;
    block << QString();
    return block;
}

QStringList focusBlock(const QWidget* focused) {
    QStringList block{QStringLiteral("ActiveControl:")};
    for (const QWidget* w = focused; w; w = w->isWindow() ? nullptr : w->parentWidget())
        block << QStringLiteral("%1 \"%2\"")
                     .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
    block << QString();
    return block;
}

int roundClockRate(int mhz) {
    static constexpr int steps[] = {0, 20, 33, 50, 60, 66, 80, 90, 100};
    const int c = mhz % 100;
    for (std::size_t i = 1; i < std::size(steps); ++i) {
        const int s = steps[i];
        if (s <= c)
            continue;
        const int t = steps[i - 1];
        if (c == t)
            return mhz;
        return (c - t < s - c) ? mhz - (c - t) : mhz + (s - c);
    }
    return mhz;
}

namespace {

#ifdef PELLORAN_X86
QString cpuidString(const unsigned* regs, int count) {
    QByteArray bytes(reinterpret_cast<const char*>(regs), count * 4);
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromLatin1(bytes).simplified();
}

int measureMhz() {
    // The time-stamp counter runs at the processor's nominal clock.
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    const unsigned long long c0 = __rdtsc();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const unsigned long long c1 = __rdtsc();
    const auto t1 = Clock::now();
    const double us = std::chrono::duration<double, std::micro>(t1 - t0).count();
    return us > 0 ? int(double(c1 - c0) / us + 0.5) : 0;
}
#endif

bool failsDivisionTest() {
    // The classic pair of operands that the faulty divider got wrong.
    volatile double x = 4195835.0;
    volatile double y = 3145727.0;
    const double z = x - (x / y) * y;
    return z > 1.0 || z < -1.0;
}

QString prettyDistributionName() {
    for (const char* name : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(name));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (!line.startsWith(QLatin1String("PRETTY_NAME=")))
                continue;
            QString value = line.mid(12);
            if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                value.back() == value.front())
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

QString osLine() {
    utsname un{};
    QString system = QStringLiteral("?");
    int major = 0, minor = 0, build = 0;
    if (uname(&un) == 0) {
        system = QString::fromLocal8Bit(un.sysname);
        static const QRegularExpression re(QStringLiteral("^(\\d+)\\.(\\d+)(?:\\.(\\d+))?"));
        const auto m = re.match(QString::fromLocal8Bit(un.release));
        if (m.hasMatch()) {
            major = m.captured(1).toInt();
            minor = m.captured(2).toInt();
            build = m.captured(3).toInt();
        }
    }
    return QStringLiteral("OS: %1, Version: %2.%3, Build: %4, \"%5\"")
        .arg(system)
        .arg(major)
        .arg(minor)
        .arg(QString::number(build, 16).toUpper(), prettyDistributionName());
}

QString screenLine() {
    int w = 0, h = 0, depth = 0;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        w = screen->geometry().width();
        h = screen->geometry().height();
        depth = screen->depth();
    }
    return QStringLiteral("Screen: %1x%2 pixels, %3 bpp").arg(w).arg(h).arg(depth);
}

int collectModule(dl_phdr_info* info, size_t, void* data) {
    auto* list = static_cast<QList<ModuleInfo>*>(data);
    std::uintptr_t low = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD)
            low = std::min<std::uintptr_t>(low, info->dlpi_phdr[i].p_vaddr);
    if (low == UINTPTR_MAX)
        low = 0;
    QString path = QFile::decodeName(info->dlpi_name ? info->dlpi_name : "");
    if (list->isEmpty() && path.isEmpty())
        path = ownExecutablePath();
    if (path.isEmpty())
        return 0;
    list->append({info->dlpi_addr + low, path});
    return 0;
}

} // namespace

ProcessorInfo processorInfo() {
    ProcessorInfo cpu;
#ifdef PELLORAN_X86
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d)) {
        const unsigned vendor[3] = {b, d, c};
        cpu.vendor = cpuidString(vendor, 3);
    }
    if (__get_cpuid(1, &a, &b, &c, &d))
        cpu.mmx = (d & bit_MMX) != 0;
    if (__get_cpuid(0x80000000, &a, &b, &c, &d) && a >= 0x80000004) {
        unsigned brand[12];
        for (unsigned i = 0; i < 3; ++i)
            __get_cpuid(0x80000002 + i, &brand[i * 4], &brand[i * 4 + 1], &brand[i * 4 + 2],
                        &brand[i * 4 + 3]);
        cpu.model = cpuidString(brand, 12);
    }
    static const int mhz = measureMhz();
    cpu.mhz = mhz;
#endif
    cpu.fdivBug = failsDivisionTest();
    return cpu;
}

QString processorLine(const ProcessorInfo& cpu) {
    return QStringLiteral("Processor: %1 %2 %3 %4%5")
        .arg(cpu.vendor, cpu.model)
        .arg(roundClockRate(cpu.mhz))
        .arg(cpu.mmx ? QStringLiteral("MMX") : QString(),
             cpu.fdivBug ? QStringLiteral(" [FDIV Bug]") : QString());
}

QStringList systemBlock() {
    return {osLine(), processorLine(processorInfo()), screenLine(), QString()};
}

std::optional<QList<ModuleInfo>> loadedModules() {
    QList<ModuleInfo> list;
    dl_iterate_phdr(&collectModule, &list);
    if (list.isEmpty())
        return std::nullopt;
    return list;
}

std::optional<FileVersion> fileVersionOf(const QString& path) {
    FileVersion v;
    QString text;
    if (QFileInfo(path).canonicalFilePath() == ownExecutablePath()) {
        text = QStringLiteral(PELLORAN_FILE_VERSION);
        v.description = QStringLiteral("Pelloran");
    } else {
        static const QRegularExpression re(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+){0,3})$"));
        const auto m = re.match(QFileInfo(path).fileName());
        if (!m.hasMatch())
            return std::nullopt;
        text = m.captured(1);
    }
    const QStringList parts = text.split(u'.');
    for (int i = 0; i < 4 && i < parts.size(); ++i)
        v.parts[i] = parts[i].toUInt() & 0xFFFF;
    v.fileVersion = text;
    return v;
}

QStringList moduleBlock(QList<ModuleInfo> modules) {
    std::stable_sort(modules.begin(), modules.end(), [](const ModuleInfo& a, const ModuleInfo& b) {
        return QString::compare(a.path, b.path, Qt::CaseInsensitive) < 0;
    });
    const QString indent(11, u' ');
    QStringList block{QStringLiteral("List of loaded modules:")};
    for (const ModuleInfo& m : modules) {
        block << QStringLiteral("[%1] %2").arg(
            QStringLiteral("%1").arg(quint64(m.base), 8, 16, QLatin1Char('0')).toUpper(), m.path);
        if (const auto v = fileVersionOf(m.path)) {
            block << indent + QStringLiteral("%1.%2.%3.%4 - %5")
                                  .arg(v->parts[0])
                                  .arg(v->parts[1])
                                  .arg(v->parts[2])
                                  .arg(v->parts[3])
                                  .arg(v->fileVersion);
            if (!v->description.isEmpty())
                block << indent + v->description;
        }
    }
    return block;
}

QString joinReport(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace ProblemReport
