#pragma once

#include <QString>

#include <optional>

namespace korsa {

// A start position as the user types it: metres ("12345", "12345 m"), kilometres ("12.345 km") or
// a percent of the lap ("17.1 %"), with "." as the decimal point in every language.
struct TypedStart {
    // Metres beyond the start line, 0 to one lap; nothing when the text is refused.
    std::optional<float> metres;
    // Why the text is refused, one sentence for the line under the field.
    QString problem;
};

TypedStart ReadTypedStart(const QString &text, float lapMetres);

} // namespace korsa
