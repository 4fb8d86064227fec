// A small modal dialog that edits one user-editable name field of a record copy owned by
// the caller: OK stores the text cut to the field, Cancel leaves the record as it was.
#pragma once

#include <QDialog>
#include <QString>
#include <cstddef>

class QLineEdit;

class CNameEditDialog : public QDialog {
    Q_OBJECT
public:
    // Results of DoModal; also the object names of the OK and Cancel buttons.
    enum { IDOK = 1, IDCANCEL = 2 };

    struct Texts {
        QString caption;
        QString label;
        unsigned labelId;
        unsigned editId;
        QString editAccessibleName;
        QString okAccessibleName;
        QString cancelAccessibleName;
    };

    // Runs the dialog modally; IDOK when it ended with OK, IDCANCEL otherwise.
    int DoModal();

    QString m_Name;

protected:
    CNameEditDialog(char* field, std::size_t fieldSize, const Texts& texts, Qt::WindowFlags flags,
                    QWidget* parent);

    virtual void OnInitDialog();
    virtual void OnOK();
    void accept() override { OnOK(); }

    QLineEdit* m_NameEdit;

private:
    char* m_Field;
    std::size_t m_FieldSize;
};
