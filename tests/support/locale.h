#pragma once
// A process locale whose decimal point is a comma, for the tests that check numbers shown to or
// read from hosts keep '.' whatever the locale.

namespace torva_test
{
// Switches the whole process (LC_ALL) to such a locale: an installed one, or one compiled for the
// test into a temporary folder when the machine has the definitions but not the locale. False
// when neither is possible (the caller skips).
bool UseCommaLocale();
// Back to the "C" locale.
void RestoreCLocale();
} // namespace torva_test
