#include "ui/component.h"

#include <QObject>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace ui {

Component::~Component() {
  if (owner_) owner_->remove(this);
}

void Component::attach(ComponentOwner* owner, const QString& name) {
  object()->setObjectName(name);
  owner_ = owner;
  if (owner_) owner_->add(this);
}

QWidget* Component::widget() { return qobject_cast<QWidget*>(object()); }

QString Component::name() const { return object()->objectName(); }

QString Component::caption() const {
  const QVariant text = object()->property("text");
  return text.isValid() ? text.toString() : QString();
}

void Component::setCaption(const QString& caption) {
  if (object()->property("text").isValid()) object()->setProperty("text", caption);
}

QString Component::hint() const {
  if (const auto* w = qobject_cast<const QWidget*>(object())) return w->toolTip();
  return {};
}

void Component::setHint(const QString& hint) {
  if (auto* w = qobject_cast<QWidget*>(object())) {
    w->setToolTip(hint);
    w->setStatusTip(hint);
  }
}

ComponentOwner::~ComponentOwner() {
  // The components usually outlive this list by a moment (Qt deletes child
  // widgets after the form's own destructor): they must not come back to it.
  for (Component* c : components_) c->owner_ = nullptr;
}

std::vector<Component*> ComponentOwner::components() const { return components_; }

Component* ComponentOwner::findComponent(const QString& name) const {
  for (Component* c : components_)
    if (c->name().compare(name, Qt::CaseInsensitive) == 0) return c;
  return nullptr;
}

void ComponentOwner::remove(Component* c) {
  components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
}

}  // namespace ui
