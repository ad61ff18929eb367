// TAboutBox: Help > "About". The program's name, version (read from the
// program file) and year, where the data lies (click it to open the folder)
// and which payroll the machine runs.
#pragma once

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/link_label.h"

namespace shell {


class TAboutBox : public ui::Form {
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  // What the box shows when it opens: the data root and the payroll
  // switches of the machine settings.
  void prepare(const QString& dataDirectory, const QString& payroll, const QString& payrollCCQ);
  std::function<int(TAboutBox&)> showModal;

  // Opens the data root in the desktop's file manager.
  void lblDatabaseClick();

  ui::Panel* Panel1;
  ui::Label* ProgramIcon;
  ui::Label* ProductName;
  ui::Label* Version;
  ui::Label* Copyright;
  ui::Label* lblDatabaseCaption;
  ui::LinkLabel* lblDatabase;
  ui::Label* lblPayroll;
  ui::ComboBox* cbxPayroll;
  ui::Button* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString payroll_ = "n";
  QString payrollCCQ_ = "n";
};

// The program's icon, drawn: the About box shows it and the main window
// carries it.
QPixmap programIcon(int size);

}  // namespace shell
