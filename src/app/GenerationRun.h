#pragma once

#include "app/AddressFormatter.h"
#include "platform/FileStatus.h"
#include "ui/RecordModel.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

// One generation run: every address of a range, in slices, appended to the output file
// and then to the list. At each event point the caller's window handles its events;
// between two of them the file, the list and the progress agree.
class OutputFile;

class GenerationRun {
public:
    enum class End {
        Completed,    // every address of the range is in the file and the list
        Stopped,      // Stop was seen at an event point
        WindowClosed, // the window is closing: the run ends and shows nothing more
        FileFailed,   // the file could not be deleted, made, written, cut back or closed,
                      // or another process changed it: the whole lines written stay
    };
    // How a run ended, and for a file that failed, the failure behind it (a path that
    // names a folder: NotAFile, nothing deleted; a write-protected file: ReadOnly; a file
    // that another process cut, appended to or took the name of: Changed). The window
    // tells the user why in the words of platform::problemOf; the tools print the failure itself.
    struct Outcome {
        Outcome(End how, platform::FileStatus why = {}, bool cut = false)
            : end(how), file(why), endsInCutLine(cut) {}
        End end;
        platform::FileStatus file;
        // A failed write whose cut back failed too: the file may end in part of a line.
        bool endsInCutLine = false;
        bool operator==(End other) const { return end == other; }
    };

    // What the caller says at an event point.
    enum class Next { Continue, Stop, Close };

    struct Hooks {
        // Lets the window handle its pending events once; says whether to go on.
        std::function<Next()> eventPoint;
        // The suffix as it stands at this event point (UTF-8, trimmed).
        std::function<QByteArray()> suffix;
        // After the list was emptied and after each slice: `done` addresses are in the
        // file and the list.
        std::function<void(std::int64_t done)> progressed;
    };

    // Work between two event points: with the piece being written when it runs out and
    // the handling of the events, an event point comes at least every 10 ms, and so a
    // Stop ends the run within 10 ms.
    static constexpr std::int64_t SliceNanoseconds = 8'000'000;
    // The run formats and writes in pieces of about PieceBytes, each write but a slice's
    // last ending on a multiple of WriteBoundary in the file: where a write starts and ends
    // on such a boundary, the system keeps the file's pages in blocks of that size (large
    // folios, Linux 6.16 and later), and a write that ends between two costs it about
    // twice the CPU time (2.19 GB: 1.2 s in writes of 244 KiB against 0.6 s in writes of
    // 128 or 256 KiB).
    static constexpr std::size_t PieceBytes = 256 * 1024;
    static constexpr std::size_t WriteBoundary = PieceFormatter::Headroom;

    GenerationRun(std::int32_t from, std::int32_t to, QString path, RecordModel& records);

    // Whether path names one of the program's own files, which are never an output: the
    // settings file in use (installed: the installed one and the user's own copy, made
    // or not), every language file, the program itself. Compared as files (any spelling
    // of the path, links followed); a missing file by its folder and name.
    static bool namesProgramFile(const QString& path);

    std::int64_t total() const { return total_; }

    // Empties the list, replaces the file and writes the range; returns how it ended.
    Outcome run(const Hooks& hooks);

private:
    // Every slice of the range, each after an event point.
    Outcome writeRange(OutputFile& file, const Hooks& hooks);
    // Appends up to a slice's worth of addresses (about SliceNanoseconds of work) to the
    // open file; `written` counts those that are whole in it.
    Outcome writeSlice(OutputFile& file, const QByteArray& suffix, std::int64_t& written);

    std::int32_t from_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    QString path_;
    RecordModel& records_;
    // Two buffers that take the run's pieces in turn: the bytes of one piece that are
    // carried over to the next write stay where they are while the next is formatted.
    std::array<PieceFormatter, 2> pieces_;
};
