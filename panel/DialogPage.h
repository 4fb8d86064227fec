// A settings page: a modeless child the view creates once, shows, hides and reloads.
// Enter and Escape inside a page neither close nor hide it.
#pragma once

#include <QSize>
#include <QWidget>

class CDialogPage : public QWidget {
    Q_OBJECT
public:
    // The page's own template size (350 by 238 dialog units at the panel's font).
    static constexpr QSize kPageSize{525, 387};

    explicit CDialogPage(unsigned templateId, QWidget* parent = nullptr);

    unsigned GetTemplateId() const { return m_TemplateId; }

    // Makes the page a hidden child of `parent` at its template size; OnInitDialog runs
    // during this call. Returns false when the page was created already.
    bool CreatePage(QWidget* parent);
    bool IsCreated() const { return m_bCreated; }

    // Re-reads the page's data through theDrv and refills its controls.
    virtual void Reload() = 0;

protected:
    // Builds the controls and loads the page's data.
    virtual void OnInitDialog() {}
    virtual void OnOK() {}
    virtual void OnCancel() {}

    void keyPressEvent(QKeyEvent* event) override;

private:
    unsigned m_TemplateId;
    bool m_bCreated = false;
};
