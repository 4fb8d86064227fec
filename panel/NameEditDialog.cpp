#include "NameEditDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <string_view>

#include "RecordQString.h"
#include "driver/RecordText.h"

CNameEditDialog::CNameEditDialog(char* field, std::size_t fieldSize, const Texts& texts,
                                 Qt::WindowFlags flags, QWidget* parent)
    : QDialog(parent, flags),
      m_NameEdit(new QLineEdit(this)),
      m_Field(field),
      m_FieldSize(fieldSize) {
    setWindowTitle(texts.caption);
    setModal(true);

    auto* label = new QLabel(texts.label, this);
    label->setObjectName(QString::number(texts.labelId));
    label->setBuddy(m_NameEdit);
    m_NameEdit->setObjectName(QString::number(texts.editId));
    m_NameEdit->setAccessibleName(texts.editAccessibleName);
    m_NameEdit->setMinimumWidth(220);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QString::number(IDOK));
    ok->setAccessibleName(texts.okAccessibleName);
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QString::number(IDCANCEL));
    cancel->setAccessibleName(texts.cancelAccessibleName);
    connect(ok, &QPushButton::clicked, this, &CNameEditDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CNameEditDialog::reject);

    auto* fields = new QHBoxLayout;
    fields->addWidget(label);
    fields->addWidget(m_NameEdit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
}

int CNameEditDialog::DoModal() {
    OnInitDialog();
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CNameEditDialog::OnInitDialog() {
    m_Name = FieldQString(m_Field, m_FieldSize);
    m_NameEdit->setText(m_Name);
    m_NameEdit->selectAll();
    m_NameEdit->setFocus();
}

void CNameEditDialog::OnOK() {
    m_Name = m_NameEdit->text();
    const QByteArray bytes = m_Name.toUtf8();
    // Longer text is cut, not refused; an empty text stores an empty name.
    StoreName(m_Field, m_FieldSize, std::string_view(bytes.constData(), bytes.size()));
    QDialog::accept();
}
