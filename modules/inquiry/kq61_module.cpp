// The module entry of the receivables inquiry: ShowDllForm creates the data
// module and the window and shows the window modally.
#include "inquiry_windows.h"
#include "shared/module_entry.h"

namespace inquiry {
namespace {

class Kq61Module : public shared::ModuleInstance {
 public:
  std::vector<db::DataSet*> dataSets() override { return dm_.dataSets(); }
  QDialog& mainWindow() override { return frm_; }

 private:
  Tkq61_dm dm_;
  Tkq61_frm frm_{dm_};
};

}  // namespace
}  // namespace inquiry

extern "C" int ShowDllForm(TLinkSection link) {
  return shared::RunModule(link, [] { return std::make_unique<inquiry::Kq61Module>(); });
}
