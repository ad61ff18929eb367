// What the main window asks of the desktop it shows.
//
// The quick lists, the shortcut buttons and the saving of both live above the
// shell core (shell/desktop); the main window knows them only through this
// interface. It makes its desktop, through the factory it is given, right
// after its wallpaper panel, so that the desktop's components follow the
// wallpaper in the window's component list and are translated with it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace ui {
class ComponentOwner;
}

namespace shell {

class TLogoAppForm;

class DesktopPart {
 public:
  virtual ~DesktopPart() = default;
  // Shows the logged-in user's saved desktop (login, unless the user asked
  // for the standard desktop). Errors are reported to the user.
  virtual void Set_Desktop() = 0;
  // Replaces the user's saved desktop by the one shown (closing, when the
  // desktop changed). Errors are reported; the saved desktop then stays.
  virtual void Save_Desktop() = 0;
  // The dialogs of the desktop, translated with the main window.
  virtual std::vector<ui::ComponentOwner*> dialogs() = 0;
};

using DesktopFactory = std::function<std::unique_ptr<DesktopPart>(TLogoAppForm&)>;

}  // namespace shell
