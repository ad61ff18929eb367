// The module entry of the purchases entry: ShowDllForm creates the data
// module, the window and its dialogs, installs the window's error handler,
// and shows the window modally.
#include "shared/module_entry.h"
#include "small_windows.h"
#include "vd87_frm.h"

namespace vd87 {
namespace {

class Vd87Module : public shared::ModuleInstance {
 public:
  Vd87Module() : frm_(dm_, period_, error_) { frm_.installExceptionHandler(); }
  std::vector<db::DataSet*> dataSets() override { return dm_.dataSets(); }
  QDialog& mainWindow() override { return frm_; }
  void prepare() override { frm_.applyDateMasks(); }

 private:
  Tvd87_dm dm_;
  TEoy_dlg eoy_;
  Tperiod_frm period_;
  TErrorForm error_;
  Tvd87_frm frm_;
};

}  // namespace
}  // namespace vd87

extern "C" int ShowDllForm(TLinkSection link) {
  return shared::RunModule(link, [] { return std::make_unique<vd87::Vd87Module>(); });
}
