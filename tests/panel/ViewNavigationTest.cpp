// The navigation tree: which page each entry shows, the status caption, the first
// selection with and without "-asio", a repeated initial update, and the page layout.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidgetItem>

#include "ViewTestSupport.h"
#include "qt/QtTestApp.h"

using namespace viewtest;

namespace {

class ViewNavigationTest : public ::testing::Test {
protected:
    void SetUp() override { qttest::App(); }

    std::unique_ptr<CZEL_USB_CPLView> MakeView(bool asio) {
        auto view = std::make_unique<CZEL_USB_CPLView>();
        frame.m_view = view.get();
        view->SetAsio(asio);
        view->OnInitialUpdate();
        return view;
    }

    static std::vector<CDialogPage*> Pages(CZEL_USB_CPLView& view) {
        return {&view.m_dlgDevices, &view.m_dlgInputChannels, &view.m_dlgOutputChannels,
                &view.m_dlgSync, &view.m_dlgSettings};
    }

    static std::vector<CDialogPage*> VisiblePages(CZEL_USB_CPLView& view) {
        std::vector<CDialogPage*> visible;
        for (CDialogPage* page : Pages(view))
            if (!page->isHidden()) visible.push_back(page);
        return visible;
    }

    TempRunDir runDir;
    FakeFrame frame;
};

TEST_F(ViewNavigationTest, EachEntryShowsExactlyItsPageAndNamesIt) {
    auto view = MakeView(false);
    struct Case {
        QTreeWidgetItem* item;
        CDialogPage* page;
        QString caption;
        std::uint32_t tag;
    };
    // In tree order; the last one goes back to an entry shown before.
    const std::vector<Case> cases = {
        {view->m_hItemDevices, &view->m_dlgDevices, "Devices", 0x12000000},
        {view->m_hItemInputs, &view->m_dlgInputChannels, "Input Channels", 0x13000000},
        {view->m_hItemOutputs, &view->m_dlgOutputChannels, "Output Channels", 0x14000000},
        {view->m_hItemSync, &view->m_dlgSync, "Synchronisation", 0x18000000},
        {view->m_hItemSettings, &view->m_dlgSettings, "Settings", 0x11000000},
    };
    ASSERT_EQ(view->m_tree.topLevelItemCount(), 5);
    for (int row = 0; row < 5; ++row) {
        const Case& c = cases[row];
        SCOPED_TRACE(c.caption.toStdString());
        EXPECT_EQ(view->m_tree.topLevelItem(row), c.item);
        EXPECT_EQ(c.item->text(0), c.caption);
        EXPECT_EQ(c.item->data(0, Qt::UserRole).toUInt(), c.tag);
    }
    for (const Case& c : {cases[2], cases[0], cases[4], cases[3], cases[1], cases[2]}) {
        SCOPED_TRACE(c.caption.toStdString());
        frame.statusTexts.clear();
        view->m_tree.setCurrentItem(c.item);
        EXPECT_EQ(VisiblePages(*view), std::vector<CDialogPage*>{c.page});
        EXPECT_EQ(frame.statusTexts, QStringList{c.caption});
    }
}

TEST_F(ViewNavigationTest, FirstSelectionIsDevicesOrSettingsWithAsio) {
    for (bool asio : {false, true}) {
        SCOPED_TRACE(asio ? "-asio" : "no option");
        frame.statusTexts.clear();
        auto view = MakeView(asio);
        CDialogPage* expected = asio ? static_cast<CDialogPage*>(&view->m_dlgSettings)
                                     : static_cast<CDialogPage*>(&view->m_dlgDevices);
        EXPECT_EQ(view->m_tree.currentItem(), asio ? view->m_hItemSettings : view->m_hItemDevices);
        EXPECT_EQ(VisiblePages(*view), std::vector<CDialogPage*>{expected});
        EXPECT_EQ(frame.statusTexts, QStringList{asio ? "Settings" : "Devices"});
        EXPECT_FALSE(view->m_bFirstUpdate);
    }
}

TEST_F(ViewNavigationTest, SelectingTheSelectedEntryChangesNothing) {
    auto view = MakeView(false);
    view->m_tree.setCurrentItem(view->m_hItemSync);
    frame.statusTexts.clear();
    view->m_tree.setCurrentItem(view->m_hItemSync);
    EXPECT_TRUE(frame.statusTexts.isEmpty());
    EXPECT_EQ(VisiblePages(*view), std::vector<CDialogPage*>{&view->m_dlgSync});
}

TEST_F(ViewNavigationTest, NoSelectionHidesEveryPageAndSetsNoCaption) {
    auto view = MakeView(false);
    frame.statusTexts.clear();
    view->m_tree.setCurrentItem(nullptr);
    EXPECT_TRUE(VisiblePages(*view).empty());
    EXPECT_TRUE(frame.statusTexts.isEmpty());
}

TEST_F(ViewNavigationTest, WithoutAMainWindowTheEntryStillShowsItsPage) {
    auto view = MakeView(false);
    AfxSetMainWnd(nullptr);
    view->m_tree.setCurrentItem(view->m_hItemOutputs);
    EXPECT_EQ(VisiblePages(*view), std::vector<CDialogPage*>{&view->m_dlgOutputChannels});
    EXPECT_EQ(frame.statusTexts.size(), 1);  // only the first selection's caption
}

TEST_F(ViewNavigationTest, SecondInitialUpdateBuildsNothingAgain) {
    auto view = MakeView(false);
    view->m_tree.setCurrentItem(view->m_hItemInputs);
    QTreeWidgetItem* const inputs = view->m_hItemInputs;
    frame.statusTexts.clear();

    view->OnInitialUpdate();

    EXPECT_EQ(view->m_tree.topLevelItemCount(), 5);
    EXPECT_EQ(view->m_hItemInputs, inputs);
    EXPECT_EQ(view->m_tree.currentItem(), inputs);
    EXPECT_EQ(VisiblePages(*view), std::vector<CDialogPage*>{&view->m_dlgInputChannels});
    EXPECT_TRUE(frame.statusTexts.isEmpty());
    EXPECT_EQ(view->m_imageList.size(), 6);
}

TEST_F(ViewNavigationTest, PagesSitRightOfTheTreeAtTheirOwnSize) {
    auto view = MakeView(false);
    EXPECT_EQ(view->size(), CZEL_USB_CPLView::kViewSize);
    EXPECT_EQ(view->m_tree.objectName(), "1000");
    EXPECT_FALSE(view->m_tree.accessibleName().isEmpty());
    EXPECT_FALSE(view->m_tree.rootIsDecorated());
    EXPECT_LT(view->m_tree.geometry().right(), CZEL_USB_CPLView::kPagePosition.x());
    for (CDialogPage* page : Pages(*view)) {
        EXPECT_EQ(page->parentWidget(), view.get());
        EXPECT_EQ(page->geometry(), QRect(CZEL_USB_CPLView::kPagePosition, CDialogPage::kPageSize));
        EXPECT_TRUE(view->rect().contains(page->geometry()));
    }
    // Every entry's label fits beside its icon, so none is elided.
    const QFontMetrics metrics(view->m_tree.font());
    const int iconWidth = view->m_tree.iconSize().isValid() ? view->m_tree.iconSize().width() : 16;
    for (int i = 0; i < view->m_tree.topLevelItemCount(); ++i) {
        const QString label = view->m_tree.topLevelItem(i)->text(0);
        EXPECT_LE(metrics.horizontalAdvance(label) + iconWidth + 12, view->m_tree.contentsRect().width())
            << label.toStdString();
    }
}

TEST_F(ViewNavigationTest, EnterAndEscapeInsideAPageLeaveItVisible) {
    auto view = MakeView(false);
    view->show();
    auto* edit = new QLineEdit(&view->m_dlgDevices);
    edit->show();
    edit->setFocus();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        for (QWidget* target :
             {static_cast<QWidget*>(edit), static_cast<QWidget*>(&view->m_dlgDevices)}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &release);
        }
        QCoreApplication::processEvents();
        EXPECT_TRUE(view->m_dlgDevices.isVisible()) << key;
        EXPECT_TRUE(view->isVisible()) << key;
    }
}

TEST_F(ViewNavigationTest, ReloadsGoInTheFixedOrder) {
    auto view = MakeView(false);
    ReloadRecorder recorder(*view);
    view->ReloadAllPages();
    EXPECT_EQ(recorder.reloads, kFullReload);
    recorder.reloads.clear();
    view->ReloadChannelPages();
    EXPECT_EQ(recorder.reloads, (QStringList{"input", "output"}));
}

}  // namespace
