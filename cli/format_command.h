#pragma once

namespace cli {

/// `format [--locale L] [--date1904] VALUE CODE`: renders VALUE with the
/// number format CODE and prints the text on one line exactly as rendered,
/// then the colour name on a second line when the chosen section sets one.
/// VALUE is a number when it reads as a plain C-locale number ("1234.5",
/// "-0.001", "1E+300"); anything else is a text value and goes through the
/// text section. --locale takes a tag such as "zh-CN"; --date1904 counts
/// dates from 1904. argv[0] is the command name ("format"); the options and
/// operands follow it. Returns 0, or 2 with a message on stderr for a usage
/// error.
int runFormatCommand(int argc, char **argv);

} // namespace cli
