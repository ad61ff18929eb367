// The shell's language: the user's at login, and any of the Languages table
// at any time from Options > Language. A switch translates the main window
// and the Help dialogs again, relabels the Tools menu and the shortcut lists
// and restates the caption; the enabled states stay as the security pass
// left them, and nothing is written back (the next start uses the stored
// language again). The "intl" setting replaces the Canadian wording of a few
// options by a generic one.
#include <QApplication>
#include <QDate>
#include <QLocale>

#include "logo_app_form.h"
#include "shared/window_utils.h"
#include "ui/field_link.h"

namespace shell {

namespace {

QString textOf(const db::Table& table, const char* field) {
  return QString::fromStdString(table.fieldByName(field).asString());
}

}  // namespace

void TLogoAppForm::buildLanguageMenu() {
  clearEntries(Language1);
  languages_.close();
  if (pdx::Status s = languages_.open(); !s.ok()) {
    databaseError(s);
    return;
  }
  pdx::Status s = languages_.first();
  for (; s.ok() && !languages_.isEmpty() && !languages_.eof(); s = languages_.next()) {
    ui::MenuItem* entry =
        Language1->add("MenuItem" + textOf(languages_, "LangCode"), ui::literalCaption(textOf(languages_, "LangName")));
    entry->setCheckable(true);
    connect(entry, &QAction::triggered, this, [this, entry] { LanguageClick(entry); });
  }
  if (!s.ok()) databaseError(s);
}

void TLogoAppForm::applyUserLanguage() {
  const int language = static_cast<int>(user_.fieldByName("User_language").asInteger());
  if (language == 0) return;
  context_.setLoginName(textOf(user_, "User_name"));
  context_.setLanguage(language);
  QString code = "en";
  if (languages_.active()) {
    auto found = languages_.findKey({pdx::Value::integer(language)});
    if (found.ok() && *found) code = textOf(languages_, "LangCode").left(2);
  }
  languageCode_ = code;
  context_.setLangSuffix(code);
  ui::setControlsLanguage(language);
  useToolkitLanguage(code);
  if (auto* entry = findAs<ui::MenuItem>("MenuItem" + code)) checkLanguageEntry(entry);
  // In this order: the main window, the login, the company password, the
  // contact dialog, the shortcut dialog, the desktop's dialogs, the About box.
  std::vector<ui::ComponentOwner*> forms{this, PasswordDlg, CompPasswd_Frm, ContactUs, ShortcutDlg};
  if (desktopPart_)
    for (ui::ComponentOwner* dialog : desktopPart_->dialogs()) forms.push_back(dialog);
  forms.push_back(AboutBox);
  for (ui::ComponentOwner* form : forms) (void)translate(*form);
}

void TLogoAppForm::checkLanguageEntry(ui::MenuItem* entry) {
  for (ui::MenuItem* e : Language1->items()) e->setChecked(e == entry);
  checkedLanguage_ = entry;
}

void TLogoAppForm::LanguageClick(ui::MenuItem* entry) {
  // A switch that cannot complete leaves the language, and its check mark,
  // as they were.
  ui::MenuItem* previous = checkedLanguage_;
  auto undo = [&] { checkLanguageEntry(previous); };
  checkLanguageEntry(entry);
  // 2, 3. The row of the chosen name; none (a caption changed since) leaves
  // the first row.
  languages_.close();
  pdx::Status s = languages_.open();
  if (s.ok()) {
    auto found = languages_.locate("LangName", {pdx::Value::text(ui::plainCaption(entry->text()).toStdString())});
    if (!found.ok()) s = found.status();
    if (s.ok() && !*found) s = languages_.first();
  }
  if (!s.ok()) {
    databaseError(s);
    undo();
    return;
  }
  const QString code = textOf(languages_, "LangCode").left(2);
  const int language = static_cast<int>(languages_.fieldByName("LangKey").asInteger());
  // 4. The windows. The caption is set back to its design first, so that a
  // table without the window's own row leaves no old greeting behind.
  const QString before = languageCode_;
  const QString title = caption();
  languageCode_ = code;
  setCaption("Tallimoor");
  QList<ui::ComponentOwner*> translated;
  for (ui::ComponentOwner* form : translatedOnSwitch()) {
    if (!translate(*form).ok()) {
      languageCode_ = before;
      for (ui::ComponentOwner* done : translated) (void)translate(*done);
      setCaption(title);
      undo();
      return;
    }
    translated << form;
  }
  context_.setLangSuffix(code);
  // 5, 6.
  context_.setLanguage(language);
  ui::setControlsLanguage(language);
  useToolkitLanguage(code);
  setVersionPanel();
  // 7. Option names in the new language.
  FillShortcutLists(true, ShortcutListOrder::kSecurity);
  // 8. The translated caption and the date, day before month in any language.
  setCaption(caption() + "    " + QLocale::system().toString(QDate::currentDate(), "dddd, d MMMM yyyy") + " ");
  // 9 to 11.
  StatusBar1->setPanelText(0, context_.companyName());
  showPrinterInStatusBar();
  ChgLang_applications();
  Internationalize();
}

QList<ui::ComponentOwner*> TLogoAppForm::translatedOnSwitch() { return {this, AboutBox, ContactUs}; }

void TLogoAppForm::setVersionPanel() {
  StatusBar1->setPanelText(3, "Version " + shared::GetFileVersionText(QApplication::applicationFilePath(), 4));
}

void TLogoAppForm::Internationalize() {
  if (settings_.intl != "y" && settings_.intl != "Y") return;
  auto recaption = [this](int menu, int group, int position, const char* caption) {
    if (ui::MenuItem* entry = option(menu, group, position)) entry->setText(QString::fromUtf8(caption));
  };
  enum { kGeneralLedger = 0, kPayables = 2, kSystemManager = 4 };
  enum { kEdit = 0, kTransactions = 1, kReports = 2, kProcedures = 3 };
  if (context_.language() == 2) {
    recaption(kGeneralLedger, kReports, 7, "Rapport Tax 1 et Tax 2");
  } else {
    recaption(kGeneralLedger, kReports, 7, "Tax 1 and Tax 2 report");
    recaption(kPayables, kTransactions, 2, "Edit check entries");
    recaption(kPayables, kTransactions, 3, "Recurring check entries");
    recaption(kPayables, kReports, 2, "List of checks to be issued");
    recaption(kPayables, kReports, 3, "List of recurring checks");
    recaption(kPayables, kProcedures, 0, "Print and update checks");
    recaption(kSystemManager, kEdit, 4, "Maintenance of check format");
  }
  MainMenu1->assignAllMnemonics();
}

}  // namespace shell
