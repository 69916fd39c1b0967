#pragma once

#include <QByteArray>

#include <optional>

namespace korsa {

// The number text of a key line: from the first digit after the first "=", digits and points,
// skipping "/". Empty when the line holds no digit there.
std::optional<QByteArray> NumberAfterEquals(QByteArray line);

// The longest leading decimal number of the text ("." as the point whatever the locale, blanks
// skipped, optional sign and exponent); 0 when there is none. Empty when the number does not fit
// a 32-bit float.
std::optional<float> LeadingNumber(const QByteArray &text);

} // namespace korsa
