#include "properties_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "data/codes.h"
#include "ui/dialogs.h"

namespace shell {

QString choosePicture(QWidget* parent, const QString& folder, int language) {
  const bool french = language == data::kFrench;
  return ui::dialogs().openFile(parent, french ? "Choisir une image" : "Choose a picture", folder,
                                french ? "Image bitmap (*.bmp);;Image Jpeg (*.jpg)"
                                       : "Bitmap image (*.bmp);;Jpeg image (*.jpg)");
}

TPropertiesDlg::TPropertiesDlg(QWidget* parent) : ui::Form("PropertiesDlg", parent) {
  setCaption("Properties");
  Bevel1 = new ui::Panel(this, this, "Bevel1");
  Image1 = new ui::Picture(this, Bevel1, "Image1");
  Image1->setStretch(true);
  Image1->setFixedSize(41, 41);
  Label1 = new ui::Label(this, Bevel1, "Label1", "&Caption:");
  NewCaption = new ui::Edit(this, Bevel1, "NewCaption");
  NewCaption->setMaxLength(255);
  Label1->setBuddy(NewCaption);
  DllLabel = new ui::Label(this, Bevel1, "DllLabel");
  DllLabel->setTextFormat(Qt::PlainText);
  ChangeIcon = new ui::Button(this, Bevel1, "ChangeIcon", "Change &icon");
  OKBtn = new ui::Button(this, this, "OKBtn", "OK");
  OKBtn->setDefault(true);
  CancelBtn = new ui::Button(this, this, "CancelBtn", "Cancel");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(ChangeIcon, &QPushButton::clicked, this, [this] { ChangeIconClick(); });

  auto* area = new QGridLayout(Bevel1);
  area->addWidget(Image1, 0, 0, 3, 1, Qt::AlignTop);
  area->addWidget(Label1, 0, 1);
  area->addWidget(NewCaption, 0, 2);
  area->addWidget(DllLabel, 1, 2);
  area->addWidget(ChangeIcon, 2, 2, Qt::AlignLeft);
  area->setColumnStretch(2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Bevel1);
  layout->addLayout(buttons);
  setMinimumWidth(360);
}

void TPropertiesDlg::ChangeIconClick() {
  iconChanged_ = false;
  const QString file = choosePicture(this, pictureFolder, language);
  if (file.isEmpty()) return;
  chosenFile_ = file;
  Image1->loadFromFile(file);
  iconChanged_ = true;
}

}  // namespace shell
