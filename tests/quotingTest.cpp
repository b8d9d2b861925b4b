// Names as messages and reports show them: in forms a POSIX shell reads back
// as the same bytes, always one line, with nothing that acts on the
// terminal or reorders what it shows.
#include "support/quoting.h"

#include <gtest/gtest.h>

#include <string>

using namespace calcgap;

namespace {

TEST(Quoting, ShellFormsOfEveryKindOfName)
{
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"plain.txt", "'plain.txt'"},
        {"", "''"},
        {"it's", "\"it's\""},
        {"it's $\"x\"", "'it'\\''s $\"x\"'"},
        {"x\ny", "'x'$'\\n''y'"},
        {"\x1b[2J", "$'\\033''[2J'"},
        {"\x1b]0;title\a", "$'\\033'']0;title'$'\\a'"},
        {"ok\rfake", "'ok'$'\\r''fake'"},
        {"del\x7f", "'del'$'\\177'"},
        {"bad\xff\xfe", "'bad'$'\\377\\376'"},
        // A C1 control, and UTF-8 that is overlong, a surrogate or cut short.
        {"\xc2\x9b" "1m", "$'\\302\\233''1m'"},
        {"\xc0\xaf", "$'\\300\\257'"},
        {"\xed\xa0\x80", "$'\\355\\240\\200'"},
        {"cut\xe2\x82", "'cut'$'\\342\\202'"},
        // Printable characters beyond ASCII stay as they are.
        {"caf\xc3\xa9", "'caf\xc3\xa9'"},
        {"\xe6\x97\xa5\xe6\x9c\xac", "'\xe6\x97\xa5\xe6\x9c\xac'"},
        {"\xf0\x9f\x93\x88", "'\xf0\x9f\x93\x88'"},
        // Bidirectional controls reorder what follows them; the byte-order
        // mark, the other format characters and the separators are
        // invisible.
        {"\xe2\x80\xae" "cod.exe", "$'\\342\\200\\256''cod.exe'"},
        {"a\xe2\x81\xa6" "b", "'a'$'\\342\\201\\246''b'"},
        {"\xe2\x80\x8f", "$'\\342\\200\\217'"},
        {"\xd8\x9c", "$'\\330\\234'"},
        {"\xef\xbb\xbf" "1", "$'\\357\\273\\277''1'"},
        {"soft\xc2\xad" "hyphen", "'soft'$'\\302\\255''hyphen'"},
        {"line\xe2\x80\xa8" "break", "'line'$'\\342\\200\\250''break'"},
        {"tag\xf3\xa0\x80\x81", "'tag'$'\\363\\240\\200\\201'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shellQuoted(c.name), c.shown) << c.shown;
        // Printable exactly when no byte needs the escape form.
        EXPECT_EQ(isPrintable(c.name), c.shown.find("$'") == std::string::npos) << c.shown;
    }
}

}  // namespace
