// Text at the Qt edge: the runtime's single-byte Windows-1252 text to Qt's
// Unicode strings and back. Only the Qt backend (and its tests) include this.
#pragma once
#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace platform::qt {

// Windows-1252 bytes as Unicode. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of
// the same value, so every byte survives a round trip.
QString fromWindows1252(std::string_view bytes);

// Unicode as Windows-1252 bytes; each character without a Windows-1252 form
// (one code point, whatever its UTF-16 length) becomes the substitute byte
// 0x1A, except invisible formatting characters (zero-width spaces and joiners,
// direction marks, variation selectors, byte-order marks), which are left out.
std::string toWindows1252(QStringView text);

// Message text as a label shows it: CR LF and lone CR become LF.
QString fromWindows1252Lines(std::string_view bytes);

// The built-in conversion used when the system's codec is not available; it
// gives the same results as the codec.
QString fromWindows1252Table(std::string_view bytes);
std::string toWindows1252Table(QStringView text);

}  // namespace platform::qt
