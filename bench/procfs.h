#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <optional>

#include <sys/types.h>

// Reading the kernel's per-process files under /proc: who is whose parent,
// when a process started, and how much memory it holds.
namespace Procfs {

struct StatFields
{
    QByteArray name; // the kernel's command name, at most 15 characters
    pid_t parent = 0;
    quint64 startTicks = 0; // since boot, in sysconf(_SC_CLK_TCK) units
};

// The text of /proc/<pid>/stat. The command name in parentheses may itself
// hold blanks and parentheses, so the fields are counted from the last ')'.
std::optional<StatFields> parseStat(const QByteArray &text);

struct Memory
{
    qint64 pssKib = 0; // proportional: shared pages split among their users
    qint64 ussKib = 0; // private to the process: freed if it ended

    Memory &operator+=(const Memory &other)
    {
        pssKib += other.pssKib;
        ussKib += other.ussKib;
        return *this;
    }
};

// The text of /proc/<pid>/smaps_rollup; nothing when it has no Pss line.
std::optional<Memory> parseSmapsRollup(const QByteArray &text);

// root and every process below it, root first, each parent before its
// children; parentOf maps each known process to its parent.
QList<pid_t> withDescendants(pid_t root, const QHash<pid_t, pid_t> &parentOf);

// Every process, as /proc reads now. Processes that end while it is read
// are left out.
QHash<pid_t, StatFields> readProcesses();

struct TreeMemory
{
    Memory total;       // root and all its descendants
    Memory root;        // root alone
    int processes = 0;  // counted in total
    int unreadable = 0; // found below root, but memory could not be read
    // Browser helpers of other programs. They share the engine's library
    // pages with the tree and so lower its proportional figure.
    int otherBrowserProcesses = 0;
};

TreeMemory measureTree(pid_t root);

// The text of /proc/<pid>/maps: how many shared libraries (files named
// "*.so" or "*.so.<version>") it maps, each counted once.
int countLibraries(const QByteArray &maps);
int mappedLibraries(pid_t pid);

}
