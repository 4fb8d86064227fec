#include "DialogPage.h"

#include <QKeyEvent>

CDialogPage::CDialogPage(unsigned templateId, QWidget* parent)
    : QWidget(parent), m_TemplateId(templateId) {
    setObjectName(QString::number(templateId & 0xFFFF));
}

bool CDialogPage::CreatePage(QWidget* parent) {
    if (m_bCreated) return false;
    m_bCreated = true;
    setParent(parent);
    setFixedSize(kPageSize);
    hide();
    OnInitDialog();
    return true;
}

void CDialogPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OnOK();
            event->accept();
            return;
        case Qt::Key_Escape:
            OnCancel();
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}
