#pragma once
// Plain text onto the system clipboard.

#include <string>
#include <vector>

class QClipboard;

namespace quiramo::desktop {

class Clipboard {
  public:
    Clipboard();
    // The lines in order, joined with line breaks. Returns whether the clipboard took them.
    bool writeToPasteBoard(const std::vector<std::string>& lines);

  private:
    QClipboard* pasteBoard_;
};

}  // namespace quiramo::desktop
