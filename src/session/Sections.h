#pragma once

#include <QString>

#include <array>
#include <optional>

namespace korsa {

inline constexpr int SectionCount = 9;

// The nine training sections in their order along the track.
struct SectionTable {
    std::array<QString, SectionCount> SectionNames;
    std::array<float, SectionCount> SectionStarts{};
};

void FillSectionNames(SectionTable &table);

// The section a command-line argument names: an index 0..8 or a name, without regard to case.
std::optional<int> FindSection(const SectionTable &table, const QString &indexOrName);

// The section whose stretch holds a start `metres` beyond the line (taken round a lap of
// `lapMetres` first): from its start up to the next one's, the last running on over the line to
// the first's. Nothing for a start no number can place.
std::optional<int> SectionAt(const SectionTable &table, float metres, float lapMetres);

} // namespace korsa
