#include "reporting/AddressResolver.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdlib>
#include <cxxabi.h>
#include <dlfcn.h>
#include <link.h>
#include <map>

#ifdef PELLORAN_HAVE_LIBDW
#include <elfutils/libdwfl.h>
#endif

QString withoutCloneSuffixes(QString name) {
    // Demangled: "f(int) [clone .constprop.0] [clone .isra.0]".
    static const QRegularExpression demangledClone(QStringLiteral(" \\[clone \\.[^\\]]*\\]"));
    name.remove(demangledClone);
    // Not demangled (a C function): "f.part.0", "f.cold".
    static const QRegularExpression plainClone(QStringLiteral(
        "(\\.(?:constprop|isra|part|cold|lto_priv|localalias|clone|specialized)(?:\\.\\d+)*)+$"));
    name.remove(plainClone);
    return name;
}

namespace {

QString demangled(const char* name) {
    if (!name || !*name)
        return {};
    int status = 0;
    char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status == 0 && plain) {
        QString result = QString::fromUtf8(plain);
        std::free(plain);
        return withoutCloneSuffixes(result);
    }
    std::free(plain);
    return withoutCloneSuffixes(QString::fromUtf8(name));
}

#ifdef PELLORAN_HAVE_LIBDW
char* debugInfoPath = nullptr;
const Dwfl_Callbacks offlineCallbacks = {dwfl_build_id_find_elf, dwfl_standard_find_debuginfo,
                                         dwfl_offline_section_address, &debugInfoPath};

// One libdw session holding one module file.
struct ModuleSession {
    Dwfl* dwfl = nullptr;
    Dwfl_Module* module = nullptr;
    Dwarf_Addr low = 0;

    ModuleSession(const QString& path, std::uintptr_t bias) {
        dwfl = dwfl_begin(&offlineCallbacks);
        if (!dwfl)
            return;
        const QByteArray file = QFile::encodeName(path);
        dwfl_report_begin(dwfl);
        module = dwfl_report_elf(dwfl, file.constData(), file.constData(), -1, bias, false);
        dwfl_report_end(dwfl, nullptr, nullptr);
        if (module)
            dwfl_module_info(module, nullptr, &low, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    ~ModuleSession() {
        if (dwfl)
            dwfl_end(dwfl);
    }
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    // Debug information gives file and line; the symbol table the function.
    SourceLocation lookUp(Dwarf_Addr address, bool withSource) const {
        SourceLocation where;
        if (!module)
            return where;
        where.procedure = demangled(dwfl_module_addrname(module, address));
        if (!withSource)
            return where;
        if (Dwfl_Line* line = dwfl_module_getsrc(module, address)) {
            int lineNo = 0;
            if (const char* src =
                    dwfl_lineinfo(line, nullptr, &lineNo, nullptr, nullptr, nullptr)) {
                const QFileInfo info(QFile::decodeName(src));
                where.file = info.fileName();
                where.unit = info.completeBaseName();
                where.line = lineNo > 0 ? unsigned(lineNo) : 0;
            }
        }
        return where;
    }
};
#endif

int findExecutable(dl_phdr_info* info, size_t, void* data) {
    // The first entry is the program itself.
    *static_cast<std::uintptr_t*>(data) = info->dlpi_addr;
    return 1;
}

} // namespace

QString ownExecutablePath() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

std::uintptr_t ownExecutableBias() {
    std::uintptr_t bias = 0;
    dl_iterate_phdr(&findExecutable, &bias);
    return bias;
}

struct AddressResolver::Impl {
    QString exePath = ownExecutablePath();
#ifdef PELLORAN_HAVE_LIBDW
    std::unique_ptr<ModuleSession> live;
    std::map<QString, std::unique_ptr<ModuleSession>> files;

    ModuleSession& liveSession() {
        if (!live)
            live = std::make_unique<ModuleSession>(exePath, ownExecutableBias());
        return *live;
    }
    ModuleSession& fileSession(const QString& path) {
        auto& s = files[path];
        if (!s)
            s = std::make_unique<ModuleSession>(path, 0);
        return *s;
    }
#endif
};

AddressResolver::AddressResolver()
    : d(std::make_unique<Impl>()) {}
AddressResolver::~AddressResolver() = default;

SourceLocation AddressResolver::resolve(std::uintptr_t address) {
#ifdef PELLORAN_HAVE_LIBDW
    ModuleSession& own = d->liveSession();
    if (own.module) {
        Dwarf_Addr start = 0, end = 0;
        dwfl_module_info(own.module, nullptr, &start, &end, nullptr, nullptr, nullptr, nullptr);
        if (address >= start && address < end)
            return own.lookUp(address, true);
    }
#endif
    SourceLocation where;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(address), &info) && info.dli_sname)
        where.procedure = demangled(info.dli_sname);
    return where;
}

SourceLocation AddressResolver::resolveInModule(const QString& path, std::uintptr_t offset,
                                                bool ownProgram) {
#ifdef PELLORAN_HAVE_LIBDW
    if (path.isEmpty())
        return {};
    ModuleSession& s = d->fileSession(path);
    return s.lookUp(s.low + offset, ownProgram);
#else
    Q_UNUSED(path);
    Q_UNUSED(offset);
    Q_UNUSED(ownProgram);
    return {};
#endif
}

QString formatCodeAddress(std::uintptr_t address) {
    return QStringLiteral("%1")
        .arg(quint64(address), int(sizeof(void*) * 2), 16, QLatin1Char('0'))
        .toUpper();
}

QString stackLine(std::uintptr_t address, const SourceLocation& where) {
    const QString addr = u'[' + formatCodeAddress(address) + u']';
    if (where.procedure.isEmpty())
        return addr;
    if (where.unit.isEmpty())
        return addr + u' ' + where.procedure;
    if (where.line == 0)
        return addr + u' ' + where.unit + u'.' + where.procedure;
    return addr + u' ' + where.unit + u'.' + where.procedure +
           QStringLiteral(" (Line %1, \"%2\")").arg(where.line).arg(where.file);
}
