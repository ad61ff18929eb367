// A searchable list to choose one row from: the window of the supplier and
// account lookups.
//
// The rows are shown in a table, one column per field; typing in the search
// box keeps only the rows where some column contains the typed text (without
// regard to case). Enter chooses the current row (the first one shown when
// none is selected), a double click chooses the clicked row, Escape chooses
// nothing.
#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

class QLineEdit;
class QTableWidget;

namespace outside {

class PickDialog : public QDialog {
 public:
  PickDialog(const QString& title, const QStringList& columns, std::vector<QStringList> rows,
             QWidget* parent = nullptr);

  // The chosen row (index into the rows given), or -1.
  int chosen() const { return chosen_; }
  // Rows shown now, for tests.
  int visibleRows() const;
  QLineEdit* searchBox() const { return search_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void narrow(const QString& text);
  void choose(int tableRow);

  std::vector<QStringList> rows_;
  QLineEdit* search_;
  QTableWidget* table_;
  int chosen_ = -1;
};

// Shows the dialog modally; the chosen row or -1.
int pick(const QString& title, const QStringList& columns, std::vector<QStringList> rows);

}  // namespace outside
