#pragma once

#include <QByteArray>

namespace korsa::test {

// The text of a track file as the simulator writes it, CR LF line ends. The defaults make the
// Sorvena track with its car placed 1500 metres past the start line.
inline QByteArray TrackText(const QByteArray &stallValue = "1500 0.0", const QByteArray &lengthMiles = "44.732",
                            const QByteArray &extraLines = {})
{
    return "[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = " + lengthMiles + " miles\r\n" +
           "stall_0 = " + stallValue + "\r\n" + extraLines;
}

} // namespace korsa::test
