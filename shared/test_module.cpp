// A module library for the tests: its window closes itself at once, and it
// tells the test what it saw through a second export.
#include <QTimer>
#include <stdexcept>

#include "shared/module_entry.h"
#include "ui/form.h"

namespace {

struct Seen {
  QByteArray userName, companyDirectory, langSuffix;
  int sessionId = 0;
  bool windowShown = false;
  bool destroyed = false;
};
Seen seen;

class TestModule : public shared::ModuleInstance {
 public:
  TestModule() : window_("Ttest_frm") {
    window_.onFirstActivate = [this] {
      seen.windowShown = true;
      if (shared::Context().launchQualifier() == "throw")
        QTimer::singleShot(0, &window_, [] { throw std::runtime_error("failed inside the window"); });
      else
        QTimer::singleShot(0, &window_, &QDialog::accept);
    };
  }
  ~TestModule() override { seen.destroyed = true; }
  std::vector<db::DataSet*> dataSets() override { return {}; }
  QDialog& mainWindow() override { return window_; }

 private:
  ui::Form window_;
};

}  // namespace

extern "C" int ShowDllForm(TLinkSection link) {
  seen = Seen();
  struct Record {
    ~Record() {
      seen.userName = shared::Context().userName().toUtf8();
      seen.companyDirectory = shared::Context().companyDirectory().toUtf8();
      seen.langSuffix = shared::Context().langSuffix().toUtf8();
      seen.sessionId = shared::Context().sessionId();
    }
  } record;
  return shared::RunModule(link, [] { return std::make_unique<TestModule>(); });
}

// What the last call saw: "user|company directory|suffix|session|shown|destroyed".
extern "C" const char* TestModuleReport() {
  static QByteArray text;
  text = seen.userName + "|" + seen.companyDirectory + "|" + seen.langSuffix + "|" + QByteArray::number(seen.sessionId) +
         "|" + (seen.windowShown ? "1" : "0") + "|" + (seen.destroyed ? "1" : "0");
  return text.constData();
}
