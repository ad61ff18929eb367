// The plain controls of the kit: each a Qt widget that is also a Component.
//
// Constructors take the owning form (which lists the component), the parent
// widget (where it sits) and the component name. Controls keep Qt's own
// signals; the names below are the texts and lists the windows read and
// translation replaces.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <functional>
#include <vector>

#include "ui/component.h"

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

namespace ui {

class Label : public QLabel, public Component {
 public:
  Label(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }
};

// A one-line text edit. With a case rule, what is keyed (typed or pasted)
// and the text already there pass through the rule: the login's password is
// upper-cased by the same rule the user table's keys are stored with. A rule
// keeps the length of the text, so the cursor stays where it was.
class Edit : public QLineEdit, public Component {
 public:
  using CaseRule = std::function<QString(const QString&)>;
  Edit(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& text = {});
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }
  const CaseRule& caseRule() const { return caseRule_; }
  void setCaseRule(CaseRule rule);

 private:
  CaseRule caseRule_;
};

class Button : public QPushButton, public Component {
 public:
  Button(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }
};

// A flat button with a picture, for tool bars ("speed buttons").
class ToolButton : public QToolButton, public Component {
 public:
  ToolButton(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }
};

class CheckBox : public QCheckBox, public Component {
 public:
  CheckBox(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }
};

// A titled group of exclusive choices; itemIndex -1 = none chosen.
class RadioGroup : public QGroupBox, public Component, public ItemList {
  Q_OBJECT
 public:
  RadioGroup(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return title(); }
  void setCaption(const QString& caption) override { setTitle(caption); }
  QStringList items() const override;
  void setItems(const QStringList& items) override;  // keeps the choice when it still exists
  // Changes the texts of the existing items only.
  void setItemText(int index, const QString& text);
  int count() const { return static_cast<int>(buttons_.size()); }
  int itemIndex() const;
  void setItemIndex(int index);

 signals:
  void itemIndexChanged(int index);

 private:
  QButtonGroup* group_;
  QVBoxLayout* layout_;
  std::vector<QRadioButton*> buttons_;
};

class ComboBox : public QComboBox, public Component, public ItemList {
 public:
  ComboBox(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  QString caption() const override { return currentText(); }
  void setCaption(const QString& caption) override;
  QStringList items() const override;
  void setItems(const QStringList& items) override;
  int itemIndex() const { return currentIndex(); }
  void setItemIndex(int index) { setCurrentIndex(index); }
};

class ListBox : public QListWidget, public Component, public ItemList {
 public:
  ListBox(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  QStringList items() const override;
  void setItems(const QStringList& items) override;
  int itemIndex() const { return currentRow(); }
  void setItemIndex(int index) { setCurrentRow(index); }
};

// A list whose items each carry a check mark.
class CheckList : public QListWidget, public Component, public ItemList {
 public:
  CheckList(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  QStringList items() const override;
  // Replaces the items; all unchecked.
  void setItems(const QStringList& items) override;
  bool checked(int index) const;
  void setChecked(int index, bool checked);
};

// Plain multi-line text. A hidden memo serves as a window's message list:
// line(n) is message n.
class Memo : public QPlainTextEdit, public Component, public ItemList {
 public:
  Memo(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  QString caption() const override { return toPlainText(); }
  void setCaption(const QString& caption) override { setPlainText(caption); }
  QStringList items() const override { return lines(); }
  void setItems(const QStringList& items) override { setLines(items); }
  QStringList lines() const;
  void setLines(const QStringList& lines);
  // Line `index`, or "" past the end.
  QString line(int index) const;
  int lineCount() const { return static_cast<int>(lines().size()); }
};

// Rich text (the things-to-do note of the desktop).
class NoteEditor : public QTextEdit, public Component {
 public:
  NoteEditor(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  QString caption() const override { return toPlainText(); }
  void setCaption(const QString& caption) override { setPlainText(caption); }
};

class Panel : public QFrame, public Component {
 public:
  Panel(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return caption_; }
  void setCaption(const QString& caption) override;

 private:
  QString caption_;
  QLabel* text_ = nullptr;
};

class GroupBox : public QGroupBox, public Component {
 public:
  GroupBox(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return title(); }
  void setCaption(const QString& caption) override { setTitle(caption); }
};

// One page of a page control; its caption is the tab's text.
class TabSheet : public QWidget, public Component {
 public:
  TabSheet(ComponentOwner* owner, class PageControl* pages, const QString& name, const QString& caption);
  QObject* object() override { return this; }
  QString caption() const override;
  void setCaption(const QString& caption) override;

 private:
  PageControl* pages_;
};

class PageControl : public QTabWidget, public Component {
 public:
  PageControl(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  int activePageIndex() const { return currentIndex(); }
  void setActivePageIndex(int index) { setCurrentIndex(index); }
};

// A status bar made of panels of fixed widths; the last one takes the rest
// of the bar, so the bar never makes its window wider than it is.
class StatusBar : public QStatusBar, public Component {
 public:
  StatusBar(ComponentOwner* owner, QWidget* parent, const QString& name, const std::vector<int>& widths);
  QObject* object() override { return this; }
  int panelCount() const { return static_cast<int>(panels_.size()); }
  QString panelText(int index) const;
  void setPanelText(int index, const QString& text);
  int panelWidth(int index) const;

 private:
  std::vector<QLabel*> panels_;
};

}  // namespace ui
