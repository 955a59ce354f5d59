#include "shell/cli/fleet_console.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "shell/cli/console_host.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// The first line of a message, with any control character as a blank and no blank at
// its end. Example: "Communication link failure \n\nObjecto: x" -> "Communication link failure".
std::string oneLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::string padRight(const std::string& text, std::size_t columns) {
    const std::size_t used = columnsOf(text);
    return used >= columns ? text : text + std::string(columns - used, ' ');
}

std::string padLeft(const std::string& text, std::size_t columns) {
    const std::size_t used = columnsOf(text);
    return used >= columns ? text : std::string(columns - used, ' ') + text;
}

}  // namespace

std::size_t columnsOf(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string cutToColumns(const std::string& text, std::size_t columns) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (seen++ == columns) return text.substr(0, i);
    }
    return text;
}

std::string shortDuration(double seconds) {
    char text[32];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else {
        const long whole = static_cast<long>(seconds + 0.5);
        if (whole < 3600) {
            std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
        } else {
            std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
        }
    }
    return text;
}

FleetConsole::FleetConsole(const fleet::TargetsFile& file, std::ostream& out, bool live, int width)
    : m_file(file), m_out(out), m_live(live), m_width(std::max(width, 20)), m_rows(file.targets.size()) {
    for (const fleet::Target& target : file.targets)
        m_nameWidth = std::max(m_nameWidth, std::min<std::size_t>(columnsOf(target.name), 30));
}

std::string FleetConsole::padded(const std::string& name) const {
    return padRight(cutToColumns(name, m_nameWidth), m_nameWidth);
}

void FleetConsole::started(std::size_t index) {
    m_rows[index].running = true;
    m_rows[index].start = Clock::now();
    m_dirty = true;
    if (!m_live) m_out << oneLine(m_file.targets[index].name) << ": started" << std::endl;
}

void FleetConsole::phase(std::size_t index, const std::string& text) {
    m_rows[index].phase = text;
    m_rows[index].value = m_rows[index].max = 0;
    m_dirty = true;
    if (!m_live) m_out << oneLine(m_file.targets[index].name) << ": " << oneLine(text) << std::endl;
}

void FleetConsole::progress(std::size_t index, long value, long max) {
    m_rows[index].value = value;
    m_rows[index].max = max;
    m_dirty = true;
}

std::string FleetConsole::endLine(std::size_t index, const fleet::TargetResult& result) const {
    const std::string outcome = fleet::outcomeName(result.outcome);
    std::string line = m_live ? padded(m_file.targets[index].name) + "  " + padRight(outcome, 11)
                              : oneLine(m_file.targets[index].name) + ": " + outcome;
    if (result.outcome != fleet::TargetOutcome::NotStarted) line += (m_live ? "  " : " in ") + shortDuration(result.seconds);
    // The guard before the error, which may be cut at the terminal's edge.
    if (result.guardLeftRaised()) line += m_live ? "  (guard left raised)" : " (guard left raised)";
    if (!result.error.empty()) line += (m_live ? "  " : ": ") + oneLine(result.error);
    return line;
}

void FleetConsole::finished(std::size_t index, const fleet::TargetResult& result) {
    m_rows[index].running = false;
    if (!m_live) {
        m_out << endLine(index, result) << std::endl;
        return;
    }
    m_ended.push_back(endLine(index, result));
    m_dirty = true;
}

std::string FleetConsole::liveLine(std::size_t index) const {
    const Row& row = m_rows[index];
    const double seconds = std::chrono::duration<double>(Clock::now() - row.start).count();
    std::string line = padded(m_file.targets[index].name) + "  " + padLeft(shortDuration(seconds), 7) + "  ";
    constexpr long kBar = 20;
    if (row.max > 0) {
        const long filled = std::clamp(row.value * kBar / row.max, 0L, kBar);
        // Appended piece by piece: GCC 12 at -O3 misreads a chain that starts with a literal.
        line += '[';
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(kBar - filled), '.');
        line += "] ";
        line += groupedCount(row.value);
        line += '/';
        line += groupedCount(row.max);
        line += "  ";
    }
    line += row.phase.empty() ? std::string("connecting ...") : oneLine(row.phase);
    return cutToColumns(line, static_cast<std::size_t>(m_width - 1));
}

void FleetConsole::draw() {
    std::string frame;
    if (m_drawnLines > 0) frame += "\r\x1b[" + std::to_string(m_drawnLines) + "A\x1b[J";
    for (const std::string& line : m_ended) frame += cutToColumns(line, static_cast<std::size_t>(m_width - 1)) + "\n";
    m_ended.clear();
    int lines = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (!m_rows[i].running) continue;
        frame += liveLine(i) + "\x1b[K\n";
        ++lines;
    }
    m_drawnLines = lines;
    m_out << frame << std::flush;
    m_lastDraw = Clock::now();
    m_dirty = false;
}

void FleetConsole::tick() {
    if (!m_live) return;
    // The elapsed times move every second even when nothing else does.
    if (Clock::now() - m_lastDraw >= std::chrono::seconds(1) ||
        (m_dirty && Clock::now() - m_lastDraw >= std::chrono::milliseconds(100))) {
        draw();
    }
}

void FleetConsole::close() {
    if (!m_live) return;
    for (Row& row : m_rows) row.running = false;
    draw();
}

std::string fleetSummaryTable(const fleet::TargetsFile& file, const fleet::FleetSettings& settings,
                              const fleet::FleetResult& result) {
    const std::vector<std::string> heads{"Target", "Outcome", "Duration", "Statements", "Failures", "Guard"};
    std::vector<std::vector<std::string>> rows;
    std::map<std::string, int> counts;
    for (std::size_t i = 0; i < file.targets.size(); ++i) {
        const fleet::TargetResult& done = result.targets[i];
        ++counts[fleet::outcomeName(done.outcome)];
        const bool ran = done.outcome != fleet::TargetOutcome::NotStarted;
        rows.push_back({oneLine(file.targets[i].name), fleet::outcomeName(done.outcome),
                        ran ? shortDuration(done.seconds) : "",
                        done.counts ? groupedCount(done.counts->statements) : "",
                        done.counts ? groupedCount(done.counts->failures) : "",
                        done.guardLeftRaised() ? "left raised" : ""});
    }
    std::vector<std::size_t> widths;
    for (const std::string& head : heads) widths.push_back(columnsOf(head));
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], columnsOf(row[c]));
    }
    auto line = [&widths](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const bool number = c >= 2 && c <= 4;
            text += (c ? "  " : "") + (number ? padLeft(cells[c], widths[c]) : padRight(cells[c], widths[c]));
        }
        text.erase(text.find_last_not_of(' ') + 1);
        return text + "\n";
    };
    std::string table = line(heads);
    for (const auto& row : rows) table += line(row);

    std::string tally;
    for (const char* outcome : {"completed", "failed", "refused", "cancelled", "not started"}) {
        if (counts[outcome] > 0) tally += (tally.empty() ? "" : ", ") + std::to_string(counts[outcome]) + " " + outcome;
    }
    table += "\n" + tally + " in " + shortDuration(result.seconds) + (result.cancelled ? " (cancelled)" : "") +
             ". Results: " + std::filesystem::absolute(settings.resultsFolder).string() + "\n";

    bool heading = false;
    for (std::size_t i = 0; i < file.targets.size(); ++i) {
        if (!result.targets[i].guardLeftRaised()) continue;
        if (!heading) table += "\nGuards left raised; check each database, then lower its guard with:\n";
        heading = true;
        table += "  " + oneLine(file.targets[i].name) + ": " +
                 (settings.lowerGuardCommand ? settings.lowerGuardCommand(file.targets[i]) : std::string()) + "\n";
    }
    return table;
}

}  // namespace cli
