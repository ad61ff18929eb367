// Components: the named pieces a form is made of.
//
// Every control, menu entry and hidden list of a window is a Component owned
// by one form (a ComponentOwner). The owner keeps its components in the order
// they were created: the component list that form translation and the saved
// desktop walk. A component has a name (the Qt object name, unique within its
// form), a tag (a number the program gives it) and a hint (the tooltip and
// status text), and most have a caption: the text they show.
//
// Ownership: the Qt object owns the component as usual (parent widget or
// menu); the owner only lists it, and a component that is destroyed leaves
// the list by itself.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <vector>

class QObject;
class QWidget;

namespace ui {

class ComponentOwner;

class Component {
 public:
  virtual ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // The Qt object that is this component.
  virtual QObject* object() = 0;
  const QObject* object() const { return const_cast<Component*>(this)->object(); }
  // The widget, or null for components that are not widgets (menu entries).
  QWidget* widget();

  QString name() const;
  ComponentOwner* owner() const { return owner_; }

  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }

  // The text the component shows (button text, label caption, check box
  // text, group title, menu entry text, edit contents). Components without a
  // text of their own ignore it.
  virtual QString caption() const;
  virtual void setCaption(const QString& caption);
  virtual QString hint() const;
  virtual void setHint(const QString& hint);

 protected:
  // Registers the component with `owner` (may be null) under `name`. Call
  // from the constructor of the concrete class, once its object exists.
  Component() = default;
  void attach(ComponentOwner* owner, const QString& name);

 private:
  friend class ComponentOwner;
  ComponentOwner* owner_ = nullptr;
  int tag_ = 0;
};

// A component with a list of lines or items that translation replaces: memos
// (their text as lines), combo boxes, list boxes, check lists, radio groups.
class ItemList {
 public:
  virtual ~ItemList() = default;
  virtual QStringList items() const = 0;
  virtual void setItems(const QStringList& items) = 0;
};

// A component with column titles that translation replaces: data grids.
class ColumnTitles {
 public:
  virtual ~ColumnTitles() = default;
  virtual int columnCount() const = 0;
  virtual void setColumnTitle(int column, const QString& title) = 0;
};

// What owns components: forms, the main window, data modules.
class ComponentOwner {
 public:
  virtual ~ComponentOwner();
  // The components in creation order (those still alive).
  std::vector<Component*> components() const;
  // The component called `name` (without regard to case), or null.
  Component* findComponent(const QString& name) const;
  template <typename T>
  T* findAs(const QString& name) const {
    return dynamic_cast<T*>(findComponent(name));
  }
  // The owner's own name (the form's component name).
  virtual QString ownerName() const = 0;
  // The form's caption (window title); owners without one ignore it.
  virtual QString ownerCaption() const { return {}; }
  virtual void setOwnerCaption(const QString&) {}

 private:
  friend class Component;
  void add(Component* c) { components_.push_back(c); }
  void remove(Component* c);
  std::vector<Component*> components_;
};

}  // namespace ui
