#pragma once

#include <QByteArray>
#include <QString>

namespace korsa {

// The one track the trainer accepts: its track_length in miles, as the file's 32-bit value.
inline constexpr float AcceptedTrackLength = 44.732f;
inline constexpr float MetresPerMile = 1609.344f;
inline constexpr float PerMilleScale = 1000.0f;
inline constexpr int ScrollMaximum = 1000;

// A number as captions show it: a blank where a sign would stand ("-" for a negative number),
// then its shortest plain decimal form with at most 15 significant digits, "." as the point, and
// no "0" before the point of a number below 1. 0.5 gives " .5", 71989 gives " 71989".
QString NumberText(double value);

// The nearest whole number, a half to the even neighbour.
double RoundHalfEven(double value);

// Whole metres and percent as captions show them.
double CaptionMetres(float metres);
double CaptionPercent(float perMille);

bool IsSorvenaTrackLength(float trackLengthMiles);
float TrackLengthInMetres(float trackLengthMiles);
// A start position beyond the track length is taken round the lap: the remainder of the whole
// metres of both. An equal value stays.
float ReduceBeyondTrack(float startPosition, float trackLengthMetres);
float PerMilleOf(float startPosition, float trackLengthMetres);
float StartPositionOfPerMille(float perMille, float trackLengthMetres);
// The scroll bar's value for a position, kept inside the bar's range.
int ScrollValueOf(float perMille);

// A start position to the 7 significant digits a 32-bit float shows, written plain ("35994.59"),
// "-" before a negative one: what Save's whole metres are cut from.
QByteArray StartPositionText(float startPosition);
// Whole metres of a start position as Save writes them: the 32-bit value to 7 significant digits
// with its fraction dropped; never an exponent, ASCII digits on every machine.
QByteArray WholeMetresText(float startPosition);
// The stall_0 line that Save writes.
QByteArray SavedStallLine(float startPosition);
// The original start position text as a 32-bit number (its leading number).
float OriginalStartPositionValue(const QByteArray &text);

} // namespace korsa
