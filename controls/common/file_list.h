// The list of files a control gathers before its run, as the office and picture forms keep it:
// what the open-file dialog answered, the tip that names the entry under the pointer, and taking
// the selected entries out.
#pragma once

#include <string>
#include <vector>

namespace velmaris {

class FormControl;

// The files of an open-file dialog's answer. With several files the answer is the folder and the
// names separated by NULs; the names are joined to the folder the way the folder is written ("/"
// after a POSIX folder, "\" after any other), so a file chosen in the dialog and the same file
// dropped on a list are one entry. Empty names are left out.
std::vector<std::u16string> ChosenFiles(const std::u16string& answer);

// Shows the entry at `index` as the list's tooltip, nothing when no entry is there.
void ShowEntryTip(FormControl& list, int index);

// Takes the selected entries out of the list.
void RemoveSelectedEntries(FormControl& list);

}  // namespace velmaris
