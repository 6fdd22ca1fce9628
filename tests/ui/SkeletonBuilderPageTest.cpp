// Drives the skeleton builder page through real clicks on list rows and buttons and checks the
// session and the lists after each step.
#include "session/MotionCaptureSession.h"
#include "render/GlView.h"
#include "render/SpinSlider.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"
#include "support/SessionBuilder.h"
#include "UiTestSupport.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/SkeletonBuilderPage.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <memory>
#include <vector>

using namespace duolo;

namespace {

// A main window whose session the test fills before the pipeline reaches the builder, and the
// builder's page, shown as the selected tab.
struct Harness {
    test::ScriptedWindow w;
    SkeletonBuilderPage* page = nullptr;

    MotionCaptureSession& session() { return w.window->session(); }
    MainDialog* window() { return w.window.get(); }

    // Stage 1, the builder's tab selected and on screen.
    void openBuilder()
    {
        window()->goToNextStep(0);
        page = qobject_cast<SkeletonBuilderPage*>(window()->page(PageKind::SkeletonBuilder));
        QVERIFY(page);
        window()->tabs()->setCurrentIndex(static_cast<int>(PageKind::SkeletonBuilder));
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        QVERIFY(page->isActive());
    }
};

void clickRow(QTreeWidget* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTreeWidgetItem* item = list->topLevelItem(row);
    QVERIFY2(item, qPrintable(QStringLiteral("no row %1 in %2").arg(row).arg(list->objectName())));
    list->scrollToItem(item);
    const QRect rect = list->visualItemRect(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
}

// Plain click on the first row, Ctrl-click on each further one.
void selectRows(QTreeWidget* list, std::initializer_list<int> rows)
{
    bool first = true;
    for (int row : rows) {
        clickRow(list, row, first ? Qt::NoModifier : Qt::ControlModifier);
        first = false;
    }
}

void click(QPushButton* button)
{
    QVERIFY(button->isVisible() && button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList rowTexts(const QTreeWidget* list, int column)
{
    QStringList texts;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        texts << list->topLevelItem(r)->text(column);
    return texts;
}

QPoint sliderHandleCentre(QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.tickPosition = slider->tickPosition();
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

// No cursor may stand outside its trajectory, the groups' own trajectories included.
bool cursorsInside(const MotionCaptureSession& s)
{
    auto inside = [](const AnimatedMarker* m) { return m->current >= 0 && m->current < m->sampleCount(); };
    for (const auto& m : s.markers)
        if (!inside(m.get()))
            return false;
    for (const auto& g : s.groups)
        for (const AnimatedMarker* m : g->ownTrajectories())
            if (!inside(m))
                return false;
    return true;
}

} // namespace

class SkeletonBuilderPageTest : public QObject {
    Q_OBJECT
private slots:
    void listsShowColumnsAndRowTexts();
    void createEdgeNeedsExactlyTwoMarkers();
    void listSelectionsReachTheSession();
    void keyboardSelection();
    void deleteMarkersTakesEmptiedGroupAlong();
    void addAndRemoveFromGroup();
    void vectorsNeedMembersOfTheSelectedGroup();
    void centroidAndCollider();
    void deleteEdgesAndGroups();
    void mirrorOneMarkerDoublesTheTake();
    void mirrorTwoMarkersOfDifferentLengthsChangesNothing();
    void nextStepWaitsForEveryTrajectory();
    void turnSliderSpringsBack();
    void filesLoadedLaterAppearOnReturn();
    void selectedMarkersShowRed();
    void sampleProjectBuiltByClicksSavesTheRecipeBytes();
};

void SkeletonBuilderPageTest::listsShowColumnsAndRowTexts()
{
    Harness h;
    for (int i = 0; i < 6; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 5);
    h.session().markers[5]->name = "M\xFCller";  // a Windows-1252 name, as projects from Windows have
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    QCOMPARE(p->markerList()->headerItem()->text(0), QStringLiteral("Joint #"));
    QCOMPARE(p->markerList()->headerItem()->text(1), QStringLiteral("Joint Name"));
    QCOMPARE(p->edgeList()->headerItem()->text(0), QStringLiteral("Edge #"));
    QCOMPARE(p->edgeList()->headerItem()->text(1), QStringLiteral("Edge Name"));
    QCOMPARE(p->groupList()->headerItem()->text(0), QStringLiteral("Group #"));
    QCOMPARE(p->groupList()->headerItem()->text(1), QStringLiteral("Group Name"));
    for (QTreeWidget* list : {p->markerList(), p->edgeList(), p->groupList()})
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);

    QCOMPARE(rowTexts(p->markerList(), 0), (QStringList{"0", "1", "2", "3", "4", "5"}));
    QCOMPARE(rowTexts(p->markerList(), 1),
             (QStringList{"m0", "m1", "m2", "m3", "m4", QString::fromUtf8("M\xC3\xBCller")}));
    QCOMPARE(p->markerList()->topLevelItem(3)->textAlignment(0) & Qt::AlignRight, int(Qt::AlignRight));

    selectRows(p->markerList(), {0, 4, 5});
    click(p->createGroupButton());
    QCOMPARE(rowTexts(p->groupList(), 0), QStringList{"0"});
    QCOMPARE(rowTexts(p->groupList(), 1), QStringList{"(0, 4, 5)"});

    // Selected in the order 5 then 3: the edge still reads from the smaller row first.
    selectRows(p->markerList(), {5, 3});
    click(p->createEdgeButton());
    QCOMPARE(rowTexts(p->edgeList(), 1), QStringList{"(3,5)"});

    // The captions of the buttons, whether on one line or two.
    QCOMPARE(p->removeFromGroupButton()->text().replace('\n', ' '), QStringLiteral("Remove From Group"));
    QCOMPARE(p->createHeadingVectorButton()->text().replace('\n', ' '), QStringLiteral("Create Heading Vector"));
    QVERIFY(!p->mirrorMarkersButton()->toolTip().isEmpty());
}

void SkeletonBuilderPageTest::createEdgeNeedsExactlyTwoMarkers()
{
    Harness h;
    for (int i = 0; i < 4; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    selectRows(p->markerList(), {0, 1, 2});
    QCOMPARE(h.session().selectedMarkerCount, 3);
    click(p->createEdgeButton());
    QCOMPARE(h.session().edgeCount(), 0);
    QCOMPARE(p->edgeList()->topLevelItemCount(), 0);

    clickRow(p->markerList(), 1, Qt::ControlModifier);  // Ctrl-click deselects
    QCOMPARE(h.session().selectedMarkerCount, 2);
    click(p->createEdgeButton());
    QCOMPARE(h.session().edgeCount(), 1);
    QCOMPARE(h.session().edges[0]->from, h.session().markers[0].get());
    QCOMPARE(h.session().edges[0]->to, h.session().markers[2].get());
    QCOMPARE(rowTexts(p->edgeList(), 0), QStringList{"0"});
    QCOMPARE(rowTexts(p->edgeList(), 1), QStringList{"(0,2)"});
    // The marker rows stay selected after an edge is appended.
    QCOMPARE(p->markerList()->selectedItems().size(), 2);
}

void SkeletonBuilderPageTest::listSelectionsReachTheSession()
{
    Harness h;
    for (int i = 0; i < 4; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    selectRows(p->markerList(), {0});
    click(p->createGroupButton());
    selectRows(p->markerList(), {1});
    click(p->createGroupButton());
    selectRows(p->markerList(), {2, 3});
    click(p->createEdgeButton());
    QCOMPARE(h.session().groupCount(), 2);
    QCOMPARE(h.session().edgeCount(), 1);

    selectRows(p->groupList(), {0, 1});
    selectRows(p->edgeList(), {0});
    QCOMPARE(h.session().selectedGroupCount, 2);
    QCOMPARE(h.session().selectedEdgeCount, 1);
    QVERIFY(h.session().groups[0]->selected && h.session().groups[1]->selected);
    QVERIFY(h.session().edges[0]->selected);

    // Two groups selected: "Add To Group" has no single target and does nothing.
    QCOMPARE(h.session().selectedMarkerCount, 2);
    click(p->addToGroupButton());
    QCOMPARE(h.session().groups[0]->memberCount(), 1);
    QCOMPARE(h.session().groups[1]->memberCount(), 1);
    QCOMPARE(rowTexts(p->groupList(), 1), (QStringList{"(0)", "(1)"}));

    // Whatever changes the session's selection behind the page's back, the next frame puts
    // the lists' selection back.
    h.session().clearMarkerSelection();
    h.session().clearEdgeSelection();
    h.session().clearGroupSelection();
    p->tick();
    QCOMPARE(h.session().selectedMarkerCount, 2);
    QCOMPARE(h.session().selectedEdgeCount, 1);
    QCOMPARE(h.session().selectedGroupCount, 2);
    h.session().clearEdgeSelection();
    QTRY_COMPARE(h.session().selectedEdgeCount, 1);  // the frame timer runs on its own
}

void SkeletonBuilderPageTest::keyboardSelection()
{
    Harness h;
    for (int i = 0; i < 5; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    clickRow(p->markerList(), 1);
    clickRow(p->markerList(), 3, Qt::ShiftModifier);
    QCOMPARE(h.session().selectedMarkerCount, 3);
    QVERIFY(!h.session().markers[0]->selected && h.session().markers[2]->selected);

    p->markerList()->setFocus();
    QTest::keyClick(p->markerList(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(h.session().selectedMarkerCount, 5);

    clickRow(p->markerList(), 4);
    QTest::keyClick(p->markerList(), Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(h.session().selectedMarkerCount, 2);
    QVERIFY(h.session().markers[3]->selected && h.session().markers[4]->selected);
}

void SkeletonBuilderPageTest::deleteMarkersTakesEmptiedGroupAlong()
{
    Harness h;
    for (int i = 0; i < 5; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    selectRows(p->markerList(), {1});
    click(p->createGroupButton());
    selectRows(p->markerList(), {2, 4});
    click(p->createGroupButton());
    selectRows(p->markerList(), {1, 3});
    click(p->createEdgeButton());
    selectRows(p->markerList(), {2, 4});
    click(p->createEdgeButton());
    QCOMPARE(rowTexts(p->groupList(), 1), (QStringList{"(1)", "(2, 4)"}));

    // Marker 1 is group 0's only member: the group goes, group 1 becomes group 0, and the
    // edge that touched marker 1 goes too.
    selectRows(p->markerList(), {1});
    click(p->deleteMarkersButton());
    QCOMPARE(h.session().markerCount(), 4);
    QCOMPARE(h.session().groupCount(), 1);
    QCOMPARE(h.session().groups[0]->groupNumber, 0);
    QCOMPARE(h.session().edgeCount(), 1);
    QCOMPARE(rowTexts(p->markerList(), 0), (QStringList{"0", "1", "2", "3"}));
    QCOMPARE(rowTexts(p->markerList(), 1), (QStringList{"m0", "m2", "m3", "m4"}));
    QCOMPARE(rowTexts(p->groupList(), 0), QStringList{"0"});
    QCOMPARE(rowTexts(p->groupList(), 1), QStringList{"(1, 3)"});
    QCOMPARE(rowTexts(p->edgeList(), 0), QStringList{"0"});
    QCOMPARE(rowTexts(p->edgeList(), 1), QStringList{"(1,3)"});
    QCOMPARE(h.session().selectedMarkerCount, 0);
    QCOMPARE(h.session().groups[0]->colour, groupColour(0));

    // With nothing selected, nothing is deleted.
    click(p->deleteMarkersButton());
    QCOMPARE(h.session().markerCount(), 4);
}

void SkeletonBuilderPageTest::addAndRemoveFromGroup()
{
    Harness h;
    for (int i = 0; i < 4; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    selectRows(p->markerList(), {0});
    click(p->createGroupButton());
    // No group selected: nothing to add to.
    selectRows(p->markerList(), {2, 3});
    click(p->addToGroupButton());
    QCOMPARE(h.session().groups[0]->memberCount(), 1);

    selectRows(p->groupList(), {0});
    click(p->addToGroupButton());
    QCOMPARE(rowTexts(p->groupList(), 1), QStringList{"(0, 2, 3)"});

    selectRows(p->groupList(), {0});
    selectRows(p->markerList(), {2});
    click(p->removeFromGroupButton());
    QCOMPARE(rowTexts(p->groupList(), 1), QStringList{"(0, 3)"});
    QVERIFY(!h.session().markers[2]->inGroup);
}

void SkeletonBuilderPageTest::vectorsNeedMembersOfTheSelectedGroup()
{
    Harness h;
    test::addStill(h.session(), {0, 1, 0}, 10);
    test::addStill(h.session(), {0, 1, 4}, 10);
    test::addStill(h.session(), {0, 5, 0}, 10);
    test::addStill(h.session(), {3, 1, 0}, 10);
    test::addStill(h.session(), {6, 1, 0}, 10);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    selectRows(p->markerList(), {0, 1, 2});
    click(p->createGroupButton());
    Group& g = *h.session().groups[0];

    // Markers 3 and 4 are not members of the selected group.
    selectRows(p->groupList(), {0});
    selectRows(p->markerList(), {3, 4});
    click(p->createHeadingVectorButton());
    click(p->createUpVectorButton());
    QVERIFY(!g.hasHeading() && !g.hasUp() && !g.hasRoot());

    // Three marker rows: not a vector.
    selectRows(p->markerList(), {0, 1, 2});
    click(p->createHeadingVectorButton());
    QVERIFY(!g.hasHeading());

    // The first selected row in row order is the start, whichever was clicked first.
    selectRows(p->markerList(), {1, 0});
    click(p->createHeadingVectorButton());
    QVERIFY(g.hasHeading() && g.hasRoot());
    QCOMPARE(g.rootTrajectory->samples[0].position.z, 0.0);
    QCOMPARE(g.headingEnd->samples[3].position.z, 4.0);

    selectRows(p->markerList(), {0, 2});
    click(p->createUpVectorButton());
    QVERIFY(g.hasUp());
    QCOMPARE(g.headingEnd->samples[0].position.z, 1.0);
    QCOMPARE(g.upEnd->samples[0].position.y, -1.0);
    QCOMPARE(g.upEnd->samples[9].position.y, -1.0);

    // The flips act on the selected groups only.
    clickRow(p->groupList(), 0, Qt::ControlModifier);
    click(p->flipUpVectorButton());
    QCOMPARE(g.upEnd->samples[0].position.y, -1.0);
    clickRow(p->groupList(), 0);
    click(p->flipUpVectorButton());
    QCOMPARE(g.upEnd->samples[0].position.y, 1.0);
    click(p->flipHeadingVectorButton());
    QCOMPARE(g.headingEnd->samples[0].position.z, -1.0);

    click(p->deleteUpVectorButton());
    QVERIFY(!g.hasUp() && g.hasHeading());
    click(p->deleteHeadingVectorButton());
    QVERIFY(!g.hasHeading() && g.hasRoot());
    // The lists show neither vectors nor lengths.
    QCOMPARE(rowTexts(p->groupList(), 1), QStringList{"(0, 1, 2)"});
}

void SkeletonBuilderPageTest::centroidAndCollider()
{
    Harness h;
    test::addStill(h.session(), {0, 0, 0}, 4);
    test::addStill(h.session(), {2, 4, 6}, 4);
    test::addStill(h.session(), {9, 9, 9}, 4);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    selectRows(p->markerList(), {0});
    click(p->createCentroidButton());
    QCOMPARE(h.session().markerCount(), 3);

    selectRows(p->markerList(), {0, 1});
    click(p->createCentroidButton());
    QCOMPARE(h.session().markerCount(), 4);
    QCOMPARE(rowTexts(p->markerList(), 1).last(), QStringLiteral("Centroid 3"));
    QCOMPARE(h.session().markers[3]->samples[2].position.y, 2.0);

    // No group yet: no collider.
    click(p->setColliderButton());
    QCOMPARE(h.session().nextColliderId, 0);

    click(p->createGroupButton());
    selectRows(p->markerList(), {0, 1});
    click(p->setColliderButton());
    QCOMPARE(h.session().markers[0]->colliderId, 0);
    QCOMPARE(rowTexts(p->markerList(), 1).first(), QStringLiteral("m0 C:0"));
    QCOMPARE(rowTexts(p->markerList(), 1).at(1), QStringLiteral("m1 C:0"));
    // The joints stay selected, so a second press gives them the next id.
    click(p->setColliderButton());
    QCOMPARE(h.session().markers[1]->colliderId, 1);
    QCOMPARE(rowTexts(p->markerList(), 1).at(1), QStringLiteral("m1 C:0 C:1"));
    QCOMPARE(h.session().nextColliderId, 2);

    // A second body: "Set Collider" cannot reach it, "Set Collider In Group" can.
    selectRows(p->markerList(), {2, 3});
    click(p->createGroupButton());
    selectRows(p->markerList(), {3});
    click(p->setColliderInGroupButton());  // no group selected: nothing
    QCOMPARE(h.session().nextColliderId, 2);
    selectRows(p->groupList(), {1});
    selectRows(p->markerList(), {3});
    click(p->setColliderInGroupButton());
    QCOMPARE(h.session().markers[3]->colliderId, 2);
    QCOMPARE(rowTexts(p->markerList(), 1).at(3), QStringLiteral("Centroid 3 C:2"));
    QCOMPARE(h.session().markers[0]->colliderId, 1);
    QCOMPARE(h.session().nextColliderId, 3);
    // One undoable step, as every button of the page.
    h.window()->undo();
    QCOMPARE(h.session().markers[3]->colliderId, -1);
    QCOMPARE(h.session().nextColliderId, 2);
}

void SkeletonBuilderPageTest::deleteEdgesAndGroups()
{
    Harness h;
    for (int i = 0; i < 4; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    for (auto rows : {std::pair{0, 1}, std::pair{1, 2}, std::pair{2, 3}}) {
        selectRows(p->markerList(), {rows.first, rows.second});
        click(p->createEdgeButton());
    }
    for (int r : {0, 1, 2}) {
        selectRows(p->markerList(), {r});
        click(p->createGroupButton());
    }
    selectRows(p->edgeList(), {0, 2});
    click(p->deleteEdgesButton());
    QCOMPARE(rowTexts(p->edgeList(), 0), QStringList{"0"});
    QCOMPARE(rowTexts(p->edgeList(), 1), QStringList{"(1,2)"});
    QCOMPARE(h.session().selectedEdgeCount, 0);

    selectRows(p->groupList(), {1});
    click(p->deleteGroupsButton());
    QCOMPARE(rowTexts(p->groupList(), 0), (QStringList{"0", "1"}));
    QCOMPARE(rowTexts(p->groupList(), 1), (QStringList{"(0)", "(2)"}));
    QVERIFY(!h.session().markers[1]->inGroup);
    QCOMPARE(h.session().markerCount(), 4);
}

void SkeletonBuilderPageTest::mirrorOneMarkerDoublesTheTake()
{
    Harness h;
    std::vector<Vec3> path;
    for (int i = 0; i < 100; ++i)
        path.push_back({0.1 * i, 1.0, 0.5 + 0.01 * i});
    test::addTrajectory(h.session(), path);
    test::addStill(h.session(), {0, 1, 3}, 100);
    test::addStill(h.session(), {0, 4, 0}, 100);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    // A group with both vectors and a centroid, all made at the old length.
    selectRows(p->markerList(), {0, 1, 2});
    click(p->createGroupButton());
    click(p->createCentroidButton());
    selectRows(p->groupList(), {0});
    selectRows(p->markerList(), {0, 1});
    click(p->createHeadingVectorButton());
    selectRows(p->markerList(), {0, 2});
    click(p->createUpVectorButton());
    QVERIFY(h.session().groups[0]->hasUp());

    selectRows(p->markerList(), {0});
    click(p->mirrorMarkersButton());
    const AnimatedMarker& m = *h.session().markers[0];
    QCOMPARE(m.sampleCount(), 200);
    QCOMPARE(h.session().frameCount, 200);
    QCOMPARE(h.session().groups[0]->frameCount, 200);
    QCOMPARE(m.samples[150].position.x, m.samples[50].position.x);
    QCOMPARE(m.samples[150].position.z, -m.samples[50].position.z);
    QCOMPARE(h.session().markers[1]->sampleCount(), 100);
    QCOMPARE(h.session().groups[0]->headingEnd->sampleCount(), 100);
    QCOMPARE(rowTexts(p->markerList(), 0).size(), 4);

    // Playing over the whole new length, and drawing each frame, never leaves a trajectory:
    // the shorter ones hold their last sample.
    for (int f = 0; f < 2 * 200 + 3; ++f) {
        h.session().stepFrame();
        QVERIFY2(cursorsInside(h.session()), qPrintable(QStringLiteral("frame %1").arg(f)));
        if (f % 50 == 0)
            p->tick();
    }
    h.session().setFrame(199);
    QVERIFY(cursorsInside(h.session()));
    QCOMPARE(h.session().markers[0]->current, 199);
    QCOMPARE(h.session().markers[1]->current, 99);
    p->tick();
    h.session().setFrame(0);
    QVERIFY(cursorsInside(h.session()));
    // Flipping over the new length reads only what the vectors have.
    selectRows(p->groupList(), {0});
    click(p->flipHeadingVectorButton());
    click(p->flipUpVectorButton());
    QCOMPARE(h.session().groups[0]->headingEnd->sampleCount(), 100);
    QTest::qWait(100);
}

void SkeletonBuilderPageTest::mirrorTwoMarkersOfDifferentLengthsChangesNothing()
{
    Harness h;
    test::addStill(h.session(), {1, 1, 1}, 10);
    test::addStill(h.session(), {2, 2, 2}, 12);
    test::addStill(h.session(), {3, 3, 3}, 10);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    selectRows(p->markerList(), {0, 1});
    click(p->mirrorMarkersButton());
    QCOMPARE(h.session().markers[0]->sampleCount(), 10);
    QCOMPARE(h.session().markers[1]->sampleCount(), 12);
    QCOMPARE(h.session().frameCount, 10);

    // Three selected: nothing either.
    selectRows(p->markerList(), {0, 1, 2});
    click(p->mirrorMarkersButton());
    QCOMPARE(h.session().markers[0]->sampleCount(), 10);

    // Two of one length swap roles in the mirrored half.
    selectRows(p->markerList(), {0, 2});
    click(p->mirrorMarkersButton());
    QCOMPARE(h.session().markers[0]->sampleCount(), 20);
    QCOMPARE(h.session().markers[0]->samples[15].position.x, 3.0);
    QCOMPARE(h.session().markers[0]->samples[15].position.z, -3.0);
    QCOMPARE(h.session().markers[2]->samples[15].position.x, 1.0);
    QCOMPARE(h.session().frameCount, 20);
}

void SkeletonBuilderPageTest::nextStepWaitsForEveryTrajectory()
{
    Harness h;
    for (int i = 0; i < 3; ++i)
        test::addStill(h.session(), {double(i), 1.0, 0.0}, 100);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;
    selectRows(p->markerList(), {0, 1, 2});
    click(p->createGroupButton());

    selectRows(p->markerList(), {0});
    click(p->mirrorMarkersButton());
    QCOMPARE(h.session().frameCount, 200);
    QCOMPARE(h.session().groups[0]->frameCount, 200);
    click(p->nextStepButton());
    QCOMPARE(h.window()->stage(), 1);

    selectRows(p->markerList(), {1});
    click(p->mirrorMarkersButton());
    click(p->nextStepButton());
    QCOMPARE(h.window()->stage(), 1);

    selectRows(p->markerList(), {2});
    click(p->mirrorMarkersButton());
    QVERIFY(h.session().allTrajectoriesHaveFrameCount());
    click(p->nextStepButton());
    QCOMPARE(h.window()->stage(), 2);
    // The pipeline moved on, the builder's tab stays selected.
    QCOMPARE(h.window()->tabs()->currentIndex(), static_cast<int>(PageKind::SkeletonBuilder));
    click(p->nextStepButton());
    QCOMPARE(h.window()->stage(), 2);
}

void SkeletonBuilderPageTest::turnSliderSpringsBack()
{
    Harness h;
    test::addStill(h.session(), {0, 1, 0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;
    SpinSlider* slider = p->turnSlider();
    QCOMPARE(slider->minimum(), -10);
    QCOMPARE(slider->maximum(), 10);
    QCOMPARE(slider->value(), 0);
    if (!GlView::isOpenGlAvailable())
        QSKIP("no OpenGL here: no view to turn");
    QVERIFY(p->view());

    // Drag the handle to the right and hold it there: the view turns.
    const QPoint start = sliderHandleCentre(slider);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(slider, start + QPoint(slider->width() / 4, 0));
    QVERIFY(slider->value() > 0);
    QCOMPARE(p->view()->spinSpeed(), slider->value());
    const float yawBefore = p->view()->viewYaw();
    p->tick();
    QVERIFY(p->view()->viewYaw() != yawBefore);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, start + QPoint(slider->width() / 4, 0));
    QCOMPARE(slider->value(), 0);
    QCOMPARE(p->view()->spinSpeed(), 0);
    const float yawAfter = p->view()->viewYaw();
    p->tick();
    QCOMPARE(p->view()->viewYaw(), yawAfter);  // left turned, no longer turning

    // From the keyboard: held to the left, back to the middle on release.
    slider->setFocus();
    QTest::keyPress(slider, Qt::Key_Left);
    QCOMPARE(slider->value(), -1);
    QTest::keyRelease(slider, Qt::Key_Left);
    QCOMPARE(slider->value(), 0);
    QCOMPARE(p->view()->spinSpeed(), 0);

    // A click on the groove beside the handle moves it a page, and back on release.
    const QPoint groove(slider->width() - 4, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, groove);
    QVERIFY(slider->value() > 0);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, groove);
    QCOMPARE(slider->value(), 0);
    QCOMPARE(p->view()->spinSpeed(), 0);
}

void SkeletonBuilderPageTest::filesLoadedLaterAppearOnReturn()
{
    test::TempDir dir;
    Harness h;
    h.w.script->markerFiles.push_back(test::writeTinySession(dir));
    h.window()->openPage()->openFilesButton()->click();
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;
    selectRows(p->markerList(), {0, 1});
    click(p->createGroupButton());
    selectRows(p->groupList(), {0});
    QCOMPARE(p->markerList()->topLevelItemCount(), 4);

    // Back on the open page, more files; then the builder again.
    h.window()->tabs()->setCurrentIndex(static_cast<int>(PageKind::OpenSession));
    QVERIFY(!p->isActive() && !p->view());
    test::TempDir more;
    h.w.script->markerFiles.push_back(test::writeTinySession(more));
    h.window()->openPage()->openFilesButton()->click();
    QCOMPARE(h.session().markerCount(), 8);
    h.window()->tabs()->setCurrentIndex(static_cast<int>(PageKind::SkeletonBuilder));
    QVERIFY(p->isActive());
    QCOMPARE(p->view() != nullptr, GlView::isOpenGlAvailable());
    QCOMPARE(p->markerList()->topLevelItemCount(), 8);
    QCOMPARE(p->markerList()->topLevelItem(7)->text(0), QStringLiteral("7"));
    // The group list did not change, and neither did its selection.
    QCOMPARE(h.session().selectedGroupCount, 1);
    selectRows(p->markerList(), {6, 7});
    click(p->addToGroupButton());
    QCOMPARE(rowTexts(p->groupList(), 1), QStringList{"(0, 1, 6, 7)"});
}

namespace {

int countRedPixels(const QImage& image)
{
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                ++red;
        }
    return red;
}

} // namespace

void SkeletonBuilderPageTest::selectedMarkersShowRed()
{
    Harness h;
    test::addStill(h.session(), {-4, 8, 0}, 5);
    test::addStill(h.session(), {4, 8, 0}, 5);
    test::addStill(h.session(), {0, 6, 0}, 5);
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;
    if (!GlView::isOpenGlAvailable() || !p->view() || p->view()->hasFailed())
        QSKIP("no OpenGL here");

    p->tick();
    QCOMPARE(countRedPixels(p->view()->grabFramebuffer()), 0);
    selectRows(p->markerList(), {0});
    const int one = countRedPixels(p->view()->grabFramebuffer());
    QVERIFY(one > 0);
    clickRow(p->markerList(), 1, Qt::ControlModifier);
    QVERIFY(countRedPixels(p->view()->grabFramebuffer()) > one);
    p->markerList()->clearSelection();
    QCOMPARE(h.session().selectedMarkerCount, 0);
    QCOMPARE(countRedPixels(p->view()->grabFramebuffer()), 0);
}

// Builds the committed sample project's group, vectors, colliders and edges from its recipe by
// clicking rows and buttons only, saves it with "Save Progress", and compares the bytes with
// what the command-line tool makes of the same recipe.
void SkeletonBuilderPageTest::sampleProjectBuiltByClicksSavesTheRecipeBytes()
{
    const QString sampleFolder = test::samplePath("");
    QFile recipeFile(sampleFolder + QStringLiteral("/sample-recipe.json"));
    QVERIFY(recipeFile.open(QIODevice::ReadOnly));
    const QJsonObject recipe = QJsonDocument::fromJson(recipeFile.readAll()).object();
    QVERIFY(recipe.contains(QStringLiteral("markers")));

    // Trajectory names are stored in the file: open the markers by the names the recipe uses,
    // relative to its folder.
    const QString previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(sampleFolder));
    struct RestoreDir {
        QString dir;
        ~RestoreDir() { QDir::setCurrent(dir); }
    } restore{previousDir};
    QStringList markerFiles;
    for (const QJsonValue& v : recipe.value(QStringLiteral("markers")).toArray())
        markerFiles << v.toString();

    Harness h;
    h.w.script->markerFiles.push_back(markerFiles);
    h.window()->openPage()->openFilesButton()->click();
    QCOMPARE(h.session().markerCount(), markerFiles.size());
    h.openBuilder();
    SkeletonBuilderPage* p = h.page;

    auto ints = [](const QJsonValue& v) {
        std::vector<int> out;
        for (const QJsonValue& x : v.toArray())
            out.push_back(x.toInt());
        return out;
    };
    auto selectMarkerRows = [&](std::vector<int> rows) {
        std::sort(rows.begin(), rows.end());
        // A run of consecutive rows by Shift-click, anything else by Ctrl-clicks.
        const bool run = rows.size() > 2 && rows.back() - rows.front() + 1 == int(rows.size());
        clickRow(p->markerList(), rows.front());
        if (run) {
            clickRow(p->markerList(), rows.back(), Qt::ShiftModifier);
        } else {
            for (size_t i = 1; i < rows.size(); ++i)
                clickRow(p->markerList(), rows[i], Qt::ControlModifier);
        }
        QCOMPARE(size_t(h.session().selectedMarkerCount), rows.size());
    };
    auto selectGroupRows = [&](const std::vector<int>& rows) {
        p->groupList()->clearSelection();
        for (int r : rows)
            clickRow(p->groupList(), r, Qt::ControlModifier);
        QCOMPARE(size_t(h.session().selectedGroupCount), rows.size());
    };

    for (const QJsonValue& stepValue : recipe.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = stepValue.toObject();
        const QString op = step.value(QStringLiteral("op")).toString();
        if (op == QLatin1String("centroid")) {
            selectMarkerRows(ints(step.value(QStringLiteral("markers"))));
            click(p->createCentroidButton());
        } else if (op == QLatin1String("group")) {
            selectMarkerRows(ints(step.value(QStringLiteral("markers"))));
            click(p->createGroupButton());
        } else if (op == QLatin1String("heading") || op == QLatin1String("up")) {
            selectGroupRows({step.value(QStringLiteral("group")).toInt()});
            selectMarkerRows({step.value(QStringLiteral("a")).toInt(), step.value(QStringLiteral("b")).toInt()});
            click(op == QLatin1String("heading") ? p->createHeadingVectorButton() : p->createUpVectorButton());
        } else if (op == QLatin1String("flipUp") || op == QLatin1String("flipHeading")) {
            selectGroupRows(ints(step.value(QStringLiteral("groups"))));
            click(op == QLatin1String("flipUp") ? p->flipUpVectorButton() : p->flipHeadingVectorButton());
        } else if (op == QLatin1String("collider")) {
            selectMarkerRows(ints(step.value(QStringLiteral("markers"))));
            click(p->setColliderButton());
        } else if (op == QLatin1String("edge")) {
            const int a = step.value(QStringLiteral("a")).toInt();
            const int b = step.value(QStringLiteral("b")).toInt();
            QVERIFY2(a < b, "an edge made by clicks runs from the smaller row");
            selectMarkerRows({a, b});
            click(p->createEdgeButton());
        } else {
            QFAIL(qPrintable(QStringLiteral("the test does not click recipe step \"%1\"").arg(op)));
        }
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(p->markerList()->topLevelItemCount(), h.session().markerCount());
    QCOMPARE(p->edgeList()->topLevelItemCount(), h.session().edgeCount());
    QCOMPARE(p->groupList()->topLevelItemCount(), h.session().groupCount());

    if (!qEnvironmentVariableIsEmpty("DUOLO_SCREENSHOT_DIR")) {
        // The group in its own colour, the skeleton and the colliders' names in view.
        p->groupList()->clearSelection();
        p->markerList()->clearSelection();
        p->markerList()->scrollToItem(p->markerList()->topLevelItem(31));
        p->tick();
        QTest::qWait(100);
        h.window()->grab().save(qEnvironmentVariable("DUOLO_SCREENSHOT_DIR") +
                                QStringLiteral("/skeleton-builder-sample.png"));
    }

    test::TempDir out;
    const QString saved = QString::fromStdString(out.file("by-clicks.dwz").string());
    h.w.script->projectsToSave.push_back(saved);
    click(p->saveProgressButton());
    QVERIFY(h.w.script->errors.empty());
    QFile savedFile(saved);
    QVERIFY(savedFile.open(QIODevice::ReadOnly));
    const QByteArray clicked = savedFile.readAll();

    // The tool, on the same recipe.
    const QString made = QString::fromStdString(out.file("by-tool.dwz").string());
    QProcess tool;
    tool.start(QStringLiteral(DUOLO_MG_PATH),
               {QStringLiteral("make-project"), sampleFolder + QStringLiteral("/sample-recipe.json"), made});
    QVERIFY(tool.waitForFinished(60000));
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0,
             tool.readAllStandardError().constData());
    QFile madeFile(made);
    QVERIFY(madeFile.open(QIODevice::ReadOnly));
    const QByteArray expected = madeFile.readAll();
    QCOMPARE(clicked.size(), expected.size());
    QVERIFY(clicked == expected);

    // And the committed sample, made the same way.
    QFile committed(sampleFolder + QStringLiteral("/sample.dwz"));
    QVERIFY(committed.open(QIODevice::ReadOnly));
    QVERIFY(committed.readAll() == clicked);
}

QTEST_MAIN(SkeletonBuilderPageTest)
#include "SkeletonBuilderPageTest.moc"
