#include "untRenameParms.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TfrmRenameParms::TfrmRenameParms(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("frmRenameParms"));
    setWindowTitle(QStringLiteral("Rename Parameters"));
    setAttribute(Qt::WA_QuitOnClose, false);

    Label1 = new QLabel(QStringLiteral("Root file name"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label1->setBuddy(Edit1);

    rgType = new QGroupBox(QStringLiteral("Suffix"), this);
    rgType->setObjectName(QStringLiteral("rgType"));
    items_ = new QButtonGroup(this);
    auto* itemsLayout = new QVBoxLayout(rgType);
    const char* const captions[] = {"Normal (1..10)", "Padded(01..10)"};
    for (int i = 0; i < 2; ++i) {
        auto* item = new QRadioButton(QString::fromLatin1(captions[i]), rgType);
        items_->addButton(item, i);
        itemsLayout->addWidget(item);
    }
    Item(0)->setChecked(true);

    Button1 = new QPushButton(QStringLiteral("Done"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);  // Enter in the field closes the dialog like the button
    connect(Button1, &QPushButton::clicked, this, &TfrmRenameParms::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    layout->addWidget(rgType);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int TfrmRenameParms::ItemIndex() const { return items_->checkedId(); }

QRadioButton* TfrmRenameParms::Item(int index) const { return qobject_cast<QRadioButton*>(items_->button(index)); }

TRenameParms TfrmRenameParms::Ask() {
    Edit1->setFocus();
    exec();
    return {Edit1->text().toStdString(), ItemIndex() == 1};
}

void TfrmRenameParms::Button1Click() { accept(); }
