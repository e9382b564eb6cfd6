// guiComboHistory: what the user typed into a combo box, kept between runs (the address and
// find-in-files dialogs). The entries live in the key "Personality" (guiEnvironment's
// `ReadComboHistory` / `WriteComboHistory`); these two put them on a Qt combo box.
#pragma once

#include <string>

class QComboBox;

// Replaces the box's items with the stored history and selects the stored entry (none when
// the index lies outside). When the key "Personality" does not exist the box keeps its items.
// Nothing happens for a null box.
void LoadComboHistory(QComboBox *box, const std::string &name);
// Brings the box's text to the top of its items (an entry equal to it without regard to case
// goes; blank text adds nothing), keeps at most `maximum` entries (0: no limit), selects the
// entry equal to the text and stores the items and the selection. Nothing happens for a null
// box.
void SaveComboHistory(QComboBox *box, const std::string &name, int maximum);
