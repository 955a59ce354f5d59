#pragma once

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "fleet/fleet_run.h"

namespace cli {

// How a fleet looks on the console while it runs. On a terminal (`live`): one line per
// running target (its name, time so far, the bar of its phase and the phase's text),
// redrawn in place at most ten times a second, and above them a line for each target
// that ended (outcome, duration, and what stopped it). Without a terminal: one line per
// event ("shop03: started", each progress text, the end), with no control characters.
// Lines never pass `width` columns on a terminal.
class FleetConsole : public fleet::FleetObserver {
public:
    FleetConsole(const fleet::TargetsFile& file, std::ostream& out, bool live, int width);

    void started(std::size_t index) override;
    void phase(std::size_t index, const std::string& text) override;
    void progress(std::size_t index, long value, long max) override;
    void finished(std::size_t index, const fleet::TargetResult& result) override;
    void tick() override;

    // Clears the live lines, so that what follows starts on a clean line.
    void close();

private:
    struct Row {
        bool running = false;
        std::string phase;
        long value = 0;
        long max = 0;
        std::chrono::steady_clock::time_point start{};
    };

    void draw();
    std::string liveLine(std::size_t index) const;
    std::string endLine(std::size_t index, const fleet::TargetResult& result) const;
    std::string padded(const std::string& name) const;

    const fleet::TargetsFile& m_file;
    std::ostream& m_out;
    bool m_live;
    int m_width;
    std::size_t m_nameWidth = 0;
    std::vector<Row> m_rows;
    std::vector<std::string> m_ended;  // end lines not yet drawn
    int m_drawnLines = 0;              // live lines on the screen now
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_dirty = false;
};

// The table printed when a fleet has ended: one row per target (name, outcome, duration,
// statements, failed statements, guard), then a line of counts and the results folder,
// then each target whose guard stays raised with the command that lowers it. Example row:
//   "shop07   failed        3.1 s           12         1  left raised"
std::string fleetSummaryTable(const fleet::TargetsFile& file, const fleet::FleetSettings& settings,
                              const fleet::FleetResult& result);

// A duration as the console shows it. Examples: 3.14 -> "3.1 s", 75 -> "1:15", 3725 -> "1:02:05".
std::string shortDuration(double seconds);

// The columns a text takes: its UTF-8 code points. Example: "Ação" -> 4.
std::size_t columnsOf(const std::string& text);

// The text cut to `columns` columns, never inside a UTF-8 sequence.
std::string cutToColumns(const std::string& text, std::size_t columns);

}  // namespace cli
