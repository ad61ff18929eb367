// What the desktop's tests share: the shell's test suite (ShellTest) with the
// program folder's own pictures, shells started on it with the real desktop,
// and what they leave in the tables.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <memory>

#include "db/database.h"
#include "db/table.h"
#include "desktop.h"
#include "logo_app_form.h"
#include "quick_lists.h"
#include "shell_test_util.h"
#include "shortcuts.h"

namespace shell::testing {

// Runs `act` on the next modal dialog, once it is shown.
inline void whenModal(std::function<void(QWidget*)> act) {
  whenReady([act = std::move(act)] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible()) return false;
    act(dialog);
    return true;
  });
}

class DesktopFixture : public ShellTest {
 protected:
  static constexpr const char* kPrefixVariable = "TALLIMOOR_DESKTOP_PREFIX";

  DesktopFixture() {
    // A test that runs as the second half of another, in a process of its
    // own, works on the suite that the first half installed.
    if (const QString first = qEnvironmentVariable(kPrefixVariable); !first.isEmpty()) {
      prefix_ = first;
      programDir_ = prefix_ + "/Tallimoor/bin";
      dataDir_ = prefix_ + "/Tallimoor/data";
      (void)settings_->writeString("Tallimoor", "pgmdrive", prefix_);
      (void)settings_->writeString("Tallimoor", "datadrive", prefix_);
      QDir::setCurrent(programDir_);
    }
    // The program folder's own pictures.
    for (const char* picture : {"Tallimoor32.jpg", "sysedit.bmp"}) {
      QFile::remove(programDir_ + "/" + picture);
      QFile::copy(QString(PICTURES_DIR) + "/" + picture, programDir_ + "/" + picture);
    }
    printers_->setPrinters({"Laser"}, "Laser");
  }
  ~DesktopFixture() override { db::Database::environment() = pdx::Env::unsynced(); }

  // One user with every right: the password is not asked.
  void makeDataRoot(std::vector<admin::NewUser> users = {user("SECRET", "ADMIN", "Marie Tremblay", 1)}) {
    ShellTest::makeDataRoot(std::move(users), 4);
  }

  // The message boxes shown, in order (not the file pickers).
  QStringList messages() const {
    QStringList out;
    for (const auto& s : dialogs_.shown)
      if (s.what == "message") out << s.text;
    return out;
  }

  // A shell started and logged in: with the password dialog answered by
  // `password` when there is one to answer, asking for the standard desktop
  // when `standard`.
  std::unique_ptr<TLogoAppForm> start(const QString& password = "SECRET", bool standard = false,
                                      bool cancel = false) {
    auto window = std::make_unique<TLogoAppForm>(programDir_, makeDesktop);
    window->resize(1280, 800);
    window->PasswordDlg->showModal = [=](TPasswordDlg& d) {
      d.Password->setText(password);
      d.DesktopCheckBox->setChecked(standard);
      return cancel ? QDialog::Rejected : QDialog::Accepted;
    };
    if (standard) window->PasswordDlg->DesktopCheckBox->setChecked(true);
    window->FormActivate();
    return window;
  }

  // Makes the shortcut of option `code` as a user does: the shortcut dialog,
  // the option reached with the arrow keys, Enter.
  void addShortcut(TLogoAppForm& window, const QString& code) {
    TShortcutDlg* dialog = window.ShortcutDlg;
    int row = -1;
    for (int i = 0; i < dialog->DllList->count() && row < 0; ++i)
      if (dialog->DllList->item(i)->text() == code) row = i;
    ASSERT_GE(row, 0) << code.toStdString();
    whenModal([dialog, row](QWidget* shown) {
      ASSERT_EQ(shown, dialog);
      dialog->OptionNames->setFocus();
      for (int k = 0; k < row; ++k) QTest::keyClick(dialog->OptionNames, Qt::Key_Down);
      QTest::keyClick(dialog->OptionNames, Qt::Key_Return);
    });
    shortcuts(window).Shortcut1Click();
  }

  static ui::TTransparentButton* shortcut(TLogoAppForm& window, const QString& name) {
    return window.findAs<ui::TTransparentButton>(name);
  }

  static TDesktop& desktop(TLogoAppForm& window) { return *static_cast<TDesktop*>(window.desktopPart()); }
  static QuickLists& lists(TLogoAppForm& window) { return desktop(window).lists(); }
  static Shortcuts& shortcuts(TLogoAppForm& window) { return desktop(window).shortcuts(); }

  // The rows of `Desktop`, in table order: user, kind, index and stream.
  struct StoredRow {
    QString user;
    int kind, index;
    QByteArray stream;
    bool operator==(const StoredRow&) const = default;
  };
  std::vector<StoredRow> storedRows(const QString& onlyUser = {}) const {
    std::vector<StoredRow> rows;
    db::Table t;
    t.setDatabaseName(dataDir_.toStdString());
    t.setTableName("Desktop");
    t.readOnly = true;
    EXPECT_TRUE(t.open().ok());
    for (pdx::Status s = t.first(); s.ok() && !t.isEmpty() && !t.eof(); s = t.next()) {
      StoredRow row;
      row.user = QString::fromStdString(t.fieldByName("Desktop_user").asString());
      row.kind = static_cast<int>(t.fieldByName("Desktop_Component_type").asInteger());
      row.index = static_cast<int>(t.fieldByName("Desktop_ComponentIndex").asInteger());
      const pdx::Value& v = t.fieldByName("Desktop_Component").value();
      if (v.kind() == pdx::Value::Kind::kBytes) row.stream = QByteArray(v.asBytes().data(), qsizetype(v.asBytes().size()));
      if (onlyUser.isEmpty() || row.user == onlyUser) rows.push_back(row);
    }
    return rows;
  }

  // Adds rows to a company table: each row a list of (field, text) pairs.
  void addRows(const char* table, const std::vector<std::vector<std::pair<const char*, std::string>>>& rows) {
    db::Table t;
    t.setDatabaseName((dataDir_ + "1").toStdString());
    t.setTableName(table);
    ASSERT_TRUE(t.open().ok());
    for (const auto& row : rows) {
      ASSERT_TRUE(t.insert().ok());
      for (const auto& [field, value] : row) ASSERT_TRUE(t.fieldByName(field).setAsString(value).ok()) << field;
      ASSERT_TRUE(t.post().ok()) << table;
    }
  }

};

}  // namespace shell::testing
