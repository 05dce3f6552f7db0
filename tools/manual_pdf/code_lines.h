// The manual's code blocks on paper: every character of every line kept, however long.
#pragma once

class QPaintDevice;
class QTextDocument;

namespace manual_pdf {

// What starts the rest of a code line broken at the page's edge; the manual's conventions
// explain it to the reader, and the docs test joins such lines back.
inline constexpr char16_t kContinuation = u'\u21AA';  // ↪

// Sets the code blocks in a monospaced font a size smaller than the text, tabs expanded to
// the next multiple of 8 columns (as a terminal shows the same lines), and breaks each line
// still wider than `width` (in the device's units) into lines that fit: before the last space
// that fits, or at the edge when there is none, each continuation starting with kContinuation
// and then exactly the characters that follow.
void FitCodeLines(QTextDocument& document, QPaintDevice& device, double width);

}  // namespace manual_pdf
