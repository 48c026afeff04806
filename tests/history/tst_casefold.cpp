#include "history/casefold.h"

#include <gtest/gtest.h>

using history::foldCase;

TEST(CaseFolding, FoldsEveryScriptsCapitalsOneCharacterEach)
{
    struct Row {
        const char *text;
        const char *folded;
    };
    const Row rows[] = {
        {"JoAnna [UTR] 100%_", "joanna [utr] 100%_"},
        {"\u00dcn\u00efc\u00f8d\u00e9\u540d\u524d", "\u00fcn\u00efc\u00f8d\u00e9\u540d\u524d"}, // Ünïcødé名前
        {"\u03a3\u0391\u03a3 \u03c2", "\u03c3\u03b1\u03c3 \u03c3"},                         // ΣΑΣ ς: final sigma too
        {"\u0100\u0101\u0102", "\u0101\u0101\u0103"},                                         // alternating pairs
        {"\u01c4\u01c5\u01c6", "\u01c6\u01c6\u01c6"},                                         // DŽ, Dž, dž
        {"\u1e9e\u212a\u0130", "\u00dfk\u0130"},  // capital sharp s, Kelvin; dotted I has no simple folding
        {"\u0416\u0436\u0531", "\u0436\u0436\u0561"},                                         // Cyrillic, Armenian
        {"\U00010400\U0001e900", "\U00010428\U0001e922"},                                     // beyond the first plane
        {"\xff" "A\xc3", "\xff" "a\xc3"},                                                     // no UTF-8: bytes kept
    };
    for (const Row &row : rows)
        EXPECT_EQ(foldCase(row.text), row.folded) << row.text;
}
