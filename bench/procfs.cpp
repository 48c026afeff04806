#include "procfs.h"

#include <QDir>
#include <QFile>
#include <QSet>

namespace Procfs {

namespace {

QByteArray readProcFile(const QString &path)
{
    // Files under /proc report a size of 0; read until the end instead.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// "Name:   1234 kB" -> 1234, for the line whose name is exactly `name`.
std::optional<qint64> kibField(const QByteArray &text, QByteArrayView name)
{
    for (const QByteArray &line : text.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || QByteArrayView(line).first(colon) != name)
            continue;
        bool ok = false;
        const qint64 value = line.mid(colon + 1).simplified().split(' ').value(0).toLongLong(&ok);
        return ok ? std::optional(value) : std::nullopt;
    }
    return std::nullopt;
}

}

std::optional<StatFields> parseStat(const QByteArray &text)
{
    const qsizetype nameStart = text.indexOf('(');
    const qsizetype nameEnd = text.lastIndexOf(')');
    if (nameStart < 0 || nameEnd < nameStart)
        return std::nullopt;
    // After the name: state(3) ppid(4) ... starttime(22), so ppid is the
    // second field and starttime the twentieth.
    const QList<QByteArray> fields = text.mid(nameEnd + 1).simplified().split(' ');
    if (fields.size() < 20)
        return std::nullopt;
    bool parentOk = false;
    bool startOk = false;
    StatFields parsed{text.mid(nameStart + 1, nameEnd - nameStart - 1), static_cast<pid_t>(fields[1].toInt(&parentOk)),
                      fields[19].toULongLong(&startOk)};
    if (!parentOk || !startOk)
        return std::nullopt;
    return parsed;
}

std::optional<Memory> parseSmapsRollup(const QByteArray &text)
{
    // Exact names: newer kernels add Pss_Anon, Pss_File and Pss_Shmem,
    // which are parts of Pss and must not be counted again.
    const std::optional<qint64> pss = kibField(text, "Pss");
    if (!pss)
        return std::nullopt;
    return Memory{*pss, kibField(text, "Private_Clean").value_or(0) + kibField(text, "Private_Dirty").value_or(0)};
}

QList<pid_t> withDescendants(pid_t root, const QHash<pid_t, pid_t> &parentOf)
{
    QHash<pid_t, QList<pid_t>> children;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it)
        children[it.value()].append(it.key());

    QList<pid_t> found{root};
    QSet<pid_t> seen{root};
    for (qsizetype i = 0; i < found.size(); ++i) {
        for (pid_t child : children.value(found[i])) {
            if (!seen.contains(child)) {
                seen.insert(child);
                found.append(child);
            }
        }
    }
    return found;
}

QHash<pid_t, StatFields> readProcesses()
{
    QHash<pid_t, StatFields> processes;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        if (const auto stat = parseStat(readProcFile(QStringLiteral("/proc/%1/stat").arg(pid))))
            processes.insert(pid, *stat);
    }
    return processes;
}

TreeMemory measureTree(pid_t root)
{
    const QHash<pid_t, StatFields> processes = readProcesses();
    QHash<pid_t, pid_t> parentOf;
    for (auto it = processes.cbegin(); it != processes.cend(); ++it)
        parentOf.insert(it.key(), it.value().parent);
    const QList<pid_t> members = withDescendants(root, parentOf);

    TreeMemory tree;
    const QSet<pid_t> inTree(members.cbegin(), members.cend());
    for (auto it = processes.cbegin(); it != processes.cend(); ++it) {
        if (!inTree.contains(it.key()) && it.value().name == "QtWebEngineProc")
            ++tree.otherBrowserProcesses;
    }
    for (pid_t pid : members) {
        const auto memory = parseSmapsRollup(readProcFile(QStringLiteral("/proc/%1/smaps_rollup").arg(pid)));
        if (!memory) {
            ++tree.unreadable;
            continue;
        }
        tree.total += *memory;
        ++tree.processes;
        if (pid == root)
            tree.root = *memory;
    }
    return tree;
}

int countLibraries(const QByteArray &maps)
{
    QSet<QByteArray> libraries;
    for (const QByteArray &line : maps.split('\n')) {
        // The path is the sixth field, and the only one starting with '/'.
        const qsizetype slash = line.indexOf('/');
        if (slash < 0)
            continue;
        const QByteArray path = line.mid(slash);
        const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        if (name.endsWith(".so") || name.contains(".so."))
            libraries.insert(path);
    }
    return int(libraries.size());
}

int mappedLibraries(pid_t pid)
{
    return countLibraries(readProcFile(QStringLiteral("/proc/%1/maps").arg(pid)));
}

}
