#include "ui/SkeletonBuilderPage.h"

#include "capture/TextEncoding.h"
#include "session/MotionCaptureSession.h"
#include "render/SceneDrawing.h"
#include "render/SpinSlider.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <GL/gl.h>

namespace duolo {
namespace {

// Page code of this page for MainDialog::goToNextStep (it completes stage 1).
constexpr int kPageCode = 2;
// How the builder's view draws markers.
constexpr double kMarkerRadius = 0.3;
constexpr int kMarkerPatches = 8;

// A report list with a right-aligned number column, several rows selectable at once (click,
// Ctrl/Shift-click, Shift+arrows, Ctrl+A) and the selection shown even without focus.
QTreeWidget* makeList(QWidget* parent, const QString& numberCaption, int numberWidth,
                      const QString& nameCaption, int nameWidth, const QString& objectName)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(objectName);
    list->setColumnCount(2);
    list->setHeaderLabels({numberCaption, nameCaption});
    list->headerItem()->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    list->setColumnWidth(0, numberWidth);
    list->setColumnWidth(1, nameWidth);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setFrameShape(QFrame::StyledPanel);
    list->setMinimumWidth(numberWidth + 60);
    QPalette palette = list->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    list->setPalette(palette);
    return list;
}

QTreeWidgetItem* makeRow(const QString& number, const QString& name)
{
    auto* item = new QTreeWidgetItem(QStringList{number, name});
    item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    item->setToolTip(1, name);
    return item;
}

// Rows selected in a list, in row order.
std::vector<int> selectedRows(const QTreeWidget* list)
{
    std::vector<int> rows;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        if (list->topLevelItem(r)->isSelected())
            rows.push_back(r);
    return rows;
}

} // namespace

SkeletonBuilderPage::SkeletonBuilderPage(MainDialog& mainWindow) : PipelinePage(mainWindow)
{
    setObjectName(QStringLiteral("skeletonBuilderPage"));
    buildControls();
    setViewArea(viewFrame_, SceneLighting::Unlit, turnSlider_);
    // Selections and the buttons' edits report themselves below; the base watches the rest.
    setRedrawOnDemand(true);
    rebuildAllLists();
}

QString SkeletonBuilderPage::edgeName(int fromIndex, int toIndex)
{
    return QStringLiteral("(%1,%2)").arg(fromIndex).arg(toIndex);
}

QString SkeletonBuilderPage::groupName(const std::vector<int>& memberIndices)
{
    QStringList parts;
    for (int index : memberIndices)
        parts << QString::number(index);
    return QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QPushButton* SkeletonBuilderPage::addButton(QWidget* parent, const QString& caption,
                                            const QString& objectName, const QString& toolTip,
                                            void (SkeletonBuilderPage::*action)())
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    if (action == &SkeletonBuilderPage::saveProgress || action == &SkeletonBuilderPage::goToNextStep) {
        connect(button, &QPushButton::clicked, this, action);
        return button;
    }
    // Every other button edits the session: one undoable step named by its caption.
    QString label = caption;
    label.replace(QLatin1Char('\n'), QLatin1Char(' '));
    connect(button, &QPushButton::clicked, this, [this, action, label] {
        mainWindow.beginEdit(EditHistory::Scope::Everything);
        (this->*action)();
        mainWindow.endEdit(EditHistory::Scope::Everything, label);
    });
    return button;
}

void SkeletonBuilderPage::buildControls()
{
    auto* frame = new QGroupBox(tr("Skeleton Builder"), this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 4, 6, 6);
    outer->addWidget(frame);

    // Left: the 3D view's frame and the turn slider beneath it.
    viewFrame_ = new QFrame(frame);
    viewFrame_->setObjectName(QStringLiteral("viewFrame"));
    viewFrame_->setFrameShape(QFrame::Box);
    viewFrame_->setFrameShadow(QFrame::Sunken);
    viewFrame_->setMinimumSize(200, 200);
    viewFrame_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    turnSlider_ = new SpinSlider(frame);
    turnSlider_->setObjectName(QStringLiteral("turnSlider"));
    auto* viewColumn = new QVBoxLayout;
    viewColumn->addWidget(viewFrame_, 1);
    viewColumn->addWidget(turnSlider_);

    // The three lists side by side, each with its buttons below it.
    markerList_ = makeList(frame, tr("Joint #"), 50, tr("Joint Name"), 100, QStringLiteral("markerList"));
    // Marker files are named by their paths: what tells them apart is the end (the file name
    // and its " C:n"), so a name too long for the column loses its beginning. The tooltip
    // holds the whole name.
    markerList_->setTextElideMode(Qt::ElideLeft);
    edgeList_ = makeList(frame, tr("Edge #"), 50, tr("Edge Name"), 100, QStringLiteral("edgeList"));
    groupList_ = makeList(frame, tr("Group #"), 60, tr("Group Name"), 140, QStringLiteral("groupList"));

    using P = SkeletonBuilderPage;
    createEdge_ = addButton(frame, tr("Create Edge"), QStringLiteral("createEdge"),
                            tr("Link the two selected joints with a skeleton edge"), &P::createEdge);
    createCentroid_ = addButton(frame, tr("Create Centroid"), QStringLiteral("createCentroid"),
                                tr("Add a joint at the mean position of the selected joints (two or more)"),
                                &P::createCentroid);
    createGroup_ = addButton(frame, tr("Create Group"), QStringLiteral("createGroup"),
                             tr("Make a new group of the selected joints"), &P::createGroup);
    deleteMarkers_ = addButton(frame, tr("Delete Markers"), QStringLiteral("deleteMarkers"),
                               tr("Delete the selected joints with their edges; a group left empty goes too"),
                               &P::deleteMarkers);
    addToGroup_ = addButton(frame, tr("Add To Group"), QStringLiteral("addToGroup"),
                            tr("Add the selected joints to the one selected group"), &P::addToGroup);
    removeFromGroup_ = addButton(frame, tr("Remove From\nGroup"), QStringLiteral("removeFromGroup"),
                                 tr("Remove From Group: take the selected joints out of the one selected group"),
                                 &P::removeFromGroup);
    mirrorMarkers_ = addButton(frame, tr("Mirror\nMarkers"), QStringLiteral("mirrorMarkers"),
                               tr("Mirror Markers: append the mirror image (z negated) of one selected joint, "
                                  "or of two selected joints swapped, doubling the take's length"),
                               &P::mirrorMarkers);
    setCollider_ = addButton(frame, tr("Set Collider"), QStringLiteral("setCollider"),
                             tr("Give the selected joints a new collider id (floor contact)"), &P::setCollider);
    setColliderInGroup_ = addButton(frame, tr("Set Collider\nIn Group"), QStringLiteral("setColliderInGroup"),
                                    tr("Set Collider In Group: give the selected joints of each selected group "
                                       "a new collider id, one per group (floor contact)"),
                                    &P::setColliderInGroup);
    deleteEdges_ = addButton(frame, tr("Delete Edges"), QStringLiteral("deleteEdges"),
                             tr("Delete the selected edges"), &P::deleteEdges);
    deleteGroups_ = addButton(frame, tr("Delete Groups"), QStringLiteral("deleteGroups"),
                              tr("Delete the selected groups (their joints stay)"), &P::deleteGroups);
    createHeading_ = addButton(frame, tr("Create Heading\nVector"), QStringLiteral("createHeadingVector"),
                               tr("Create Heading Vector: from the first to the second of two selected joints "
                                  "of the one selected group; the first becomes the root"),
                               &P::createHeadingVector);
    flipHeading_ = addButton(frame, tr("Flip Heading\nVector"), QStringLiteral("flipHeadingVector"),
                             tr("Flip Heading Vector: reverse the heading of every selected group"),
                             &P::flipHeadingVector);
    deleteHeading_ = addButton(frame, tr("Delete Heading\nVector"), QStringLiteral("deleteHeadingVector"),
                               tr("Delete Heading Vector: drop the heading of every selected group"),
                               &P::deleteHeadingVector);
    createUp_ = addButton(frame, tr("Create Up\nVector"), QStringLiteral("createUpVector"),
                          tr("Create Up Vector: from the first to the second of two selected joints "
                             "of the one selected group"),
                          &P::createUpVector);
    flipUp_ = addButton(frame, tr("Flip Up\nVector"), QStringLiteral("flipUpVector"),
                        tr("Flip Up Vector: reverse the up vector of every selected group"), &P::flipUpVector);
    deleteUp_ = addButton(frame, tr("Delete Up\nVector"), QStringLiteral("deleteUpVector"),
                          tr("Delete Up Vector: drop the up vector of every selected group"), &P::deleteUpVector);
    saveProgress_ = addButton(frame, tr("Save Progress"), QStringLiteral("saveProgress"),
                              tr("Save the trajectories, groups, vectors, edges and colliders to a project file"),
                              &P::saveProgress);
    nextStep_ = addButton(frame, tr("Go To Next Step"), QStringLiteral("goToNextStep"),
                          tr("Go on to the animation dissection (every trajectory must have the take's length)"),
                          &P::goToNextStep);

    auto* markerButtons = new QGridLayout;
    markerButtons->setHorizontalSpacing(6);
    markerButtons->addWidget(createEdge_, 0, 0);
    markerButtons->addWidget(createCentroid_, 0, 1);
    markerButtons->addWidget(createGroup_, 1, 0);
    markerButtons->addWidget(deleteMarkers_, 1, 1);
    markerButtons->addWidget(addToGroup_, 2, 0);
    markerButtons->addWidget(removeFromGroup_, 3, 0);
    markerButtons->addWidget(mirrorMarkers_, 4, 0);

    auto* edgeButtons = new QVBoxLayout;
    edgeButtons->addWidget(setCollider_, 0, Qt::AlignHCenter);
    edgeButtons->addWidget(setColliderInGroup_, 0, Qt::AlignHCenter);
    edgeButtons->addStretch(1);
    edgeButtons->addWidget(deleteEdges_, 0, Qt::AlignHCenter);
    edgeButtons->addStretch(1);

    auto* groupButtons = new QGridLayout;
    groupButtons->setHorizontalSpacing(6);
    groupButtons->addWidget(deleteGroups_, 0, 0);
    groupButtons->addWidget(createHeading_, 1, 0);
    groupButtons->addWidget(createUp_, 1, 1);
    groupButtons->addWidget(flipHeading_, 2, 0);
    groupButtons->addWidget(flipUp_, 2, 1);
    groupButtons->addWidget(deleteHeading_, 3, 0);
    groupButtons->addWidget(deleteUp_, 3, 1);
    groupButtons->setRowStretch(4, 1);
    groupButtons->addWidget(saveProgress_, 5, 0);
    groupButtons->addWidget(nextStep_, 5, 1);

    // Every button of the page has one size: as wide as the widest caption, as tall as the
    // two-line ones.
    const QList<QPushButton*> buttons = frame->findChildren<QPushButton*>();
    QSize buttonSize;
    for (QPushButton* b : buttons)
        buttonSize = buttonSize.expandedTo(b->sizeHint());
    for (QPushButton* b : buttons)
        b->setFixedSize(buttonSize);

    auto* grid = new QGridLayout(frame);
    grid->addLayout(viewColumn, 0, 0, 2, 1);
    grid->addWidget(markerList_, 0, 1);
    grid->addWidget(edgeList_, 0, 2);
    grid->addWidget(groupList_, 0, 3);
    grid->addLayout(markerButtons, 1, 1, Qt::AlignHCenter);
    grid->addLayout(edgeButtons, 1, 2);
    grid->addLayout(groupButtons, 1, 3, Qt::AlignHCenter);
    grid->setRowStretch(0, 1);
    // The proportions of the original arrangement: view 198, lists 123, 123 and 185 wide.
    grid->setColumnStretch(0, 198);
    grid->setColumnStretch(1, 123);
    grid->setColumnStretch(2, 123);
    grid->setColumnStretch(3, 185);
    grid->setHorizontalSpacing(10);

    for (QTreeWidget* list : {markerList_, edgeList_, groupList_}) {
        // Clicks, Ctrl/Shift-clicks and keyboard selection all pass through here.
        connect(list, &QTreeWidget::itemSelectionChanged, this, [this] {
            synchroniseSelection();
            requestRedraw();
        });
    }

    setTabOrder(markerList_, edgeList_);
    setTabOrder(edgeList_, groupList_);
}

void SkeletonBuilderPage::activate()
{
    // Another page may have added trajectories since this one was last shown (the open page
    // can still load files): refill only what no longer matches, keeping the user's selection
    // everywhere else.
    refreshStaleLists();
    PipelinePage::activate();
    synchroniseSelection();
    if (!isAncestorOf(QApplication::focusWidget()))
        markerList_->setFocus(Qt::OtherFocusReason);
}

void SkeletonBuilderPage::refreshStaleLists()
{
    auto matches = [](const QTreeWidget* list, int rowCount, auto rowTexts) {
        if (list->topLevelItemCount() != rowCount)
            return false;
        for (int r = 0; r < rowCount; ++r) {
            const QStringList want = rowTexts(r);
            const QTreeWidgetItem* item = list->topLevelItem(r);
            if (item->text(0) != want[0] || item->text(1) != want[1])
                return false;
        }
        return true;
    };
    if (!matches(markerList_, session().markerCount(), [this](int r) { return markerRowTexts(r); }))
        rebuildMarkerList();
    if (!matches(edgeList_, session().edgeCount(), [this](int r) { return edgeRowTexts(r); }))
        rebuildEdgeList();
    if (!matches(groupList_, session().groupCount(), [this](int r) { return groupRowTexts(r); }))
        rebuildGroupList();
}

// --- Lists ---------------------------------------------------------------------------------

QStringList SkeletonBuilderPage::markerRowTexts(int row) const
{
    const AnimatedMarker* m = session().markers[static_cast<size_t>(row)].get();
    return {QString::number(row), QString::fromStdString(displayText(m->name))};
}

QStringList SkeletonBuilderPage::edgeRowTexts(int row) const
{
    const Edge* e = session().edges[static_cast<size_t>(row)].get();
    const int from = e->from ? e->from->index : -1;
    const int to = e->to ? e->to->index : -1;
    return {QString::number(e->index), edgeName(from, to)};
}

QStringList SkeletonBuilderPage::groupRowTexts(int row) const
{
    const Group* g = session().groups[static_cast<size_t>(row)].get();
    std::vector<int> members;
    members.reserve(g->members.size());
    for (const AnimatedMarker* m : g->members)
        members.push_back(m->index);
    return {QString::number(g->groupNumber), groupName(members)};
}

void SkeletonBuilderPage::appendMarkerRow(int row)
{
    const QStringList texts = markerRowTexts(row);
    markerList_->addTopLevelItem(makeRow(texts[0], texts[1]));
}

void SkeletonBuilderPage::appendEdgeRow(int row)
{
    const QStringList texts = edgeRowTexts(row);
    edgeList_->addTopLevelItem(makeRow(texts[0], texts[1]));
}

void SkeletonBuilderPage::appendGroupRow(int row)
{
    const QStringList texts = groupRowTexts(row);
    groupList_->addTopLevelItem(makeRow(texts[0], texts[1]));
}

void SkeletonBuilderPage::rebuildMarkerList()
{
    const QSignalBlocker block(markerList_);
    markerList_->clear();
    for (int r = 0; r < session().markerCount(); ++r)
        appendMarkerRow(r);
}

void SkeletonBuilderPage::rebuildEdgeList()
{
    const QSignalBlocker block(edgeList_);
    edgeList_->clear();
    for (int r = 0; r < session().edgeCount(); ++r)
        appendEdgeRow(r);
}

void SkeletonBuilderPage::rebuildGroupList()
{
    const QSignalBlocker block(groupList_);
    groupList_->clear();
    for (int r = 0; r < session().groupCount(); ++r)
        appendGroupRow(r);
}

void SkeletonBuilderPage::rebuildAllLists()
{
    rebuildMarkerList();
    rebuildEdgeList();
    rebuildGroupList();
    synchroniseSelection();
}

// --- Selection and drawing -----------------------------------------------------------------

void SkeletonBuilderPage::synchroniseSelection()
{
    MotionCaptureSession& s = session();
    s.clearMarkerSelection();
    s.clearEdgeSelection();
    s.clearGroupSelection();
    for (int row : selectedRows(markerList_))
        s.selectMarker(row);
    for (int row : selectedRows(edgeList_))
        s.selectEdge(row);
    for (int row : selectedRows(groupList_))
        s.selectGroup(row);
}

void SkeletonBuilderPage::paintEvent(QPaintEvent* event)
{
    synchroniseSelection();
    PipelinePage::paintEvent(event);
}

void SkeletonBuilderPage::advance()
{
    // Every pass of the render loop: the page's own controls are current, so is the session.
    synchroniseSelection();
}

void SkeletonBuilderPage::drawScene()
{
    synchroniseSelection();
    glColor3f(1.0f, 1.0f, 1.0f);
    drawSessionFrame(session(), mainWindow.displayOptions(), kMarkerRadius, kMarkerPatches, -1);
}

void SkeletonBuilderPage::documentRestored(bool)
{
    // The lists show the session's objects by number: after an undo they may all differ.
    rebuildAllLists();
    afterOperation();
}

void SkeletonBuilderPage::afterOperation()
{
    synchroniseSelection();
    update();
    requestRedraw();
}

bool SkeletonBuilderPage::vectorRows(int& first, int& second, int& group) const
{
    const std::vector<int> markers = selectedRows(markerList_);
    const std::vector<int> groups = selectedRows(groupList_);
    if (markers.size() != 2 || groups.size() != 1)
        return false;
    first = markers[0];
    second = markers[1];
    group = groups[0];
    return true;
}

// --- Buttons ---------------------------------------------------------------------------------

void SkeletonBuilderPage::createEdge()
{
    synchroniseSelection();
    if (session().selectedMarkerCount != 2)
        return;
    if (session().createEdge()) {
        const QSignalBlocker block(edgeList_);
        appendEdgeRow(session().edgeCount() - 1);
    }
    afterOperation();
}

void SkeletonBuilderPage::deleteEdges()
{
    synchroniseSelection();
    session().deleteSelectedEdges();
    rebuildEdgeList();
    afterOperation();
}

void SkeletonBuilderPage::createCentroid()
{
    synchroniseSelection();
    if (session().selectedMarkerCount < 2)
        return;
    if (session().createCentroid()) {
        const QSignalBlocker block(markerList_);
        appendMarkerRow(session().markerCount() - 1);
    }
    afterOperation();
}

void SkeletonBuilderPage::createGroup()
{
    synchroniseSelection();
    if (session().selectedMarkerCount < 1)
        return;
    if (session().createGroup()) {
        const QSignalBlocker block(groupList_);
        appendGroupRow(session().groupCount() - 1);
    }
    afterOperation();
}

void SkeletonBuilderPage::deleteGroups()
{
    synchroniseSelection();
    session().deleteSelectedGroups();
    rebuildGroupList();
    afterOperation();
}

void SkeletonBuilderPage::addToGroup()
{
    synchroniseSelection();
    if (session().selectedMarkerCount < 1 || session().selectedGroupCount != 1)
        return;
    session().addSelectedToGroup();
    rebuildGroupList();
    afterOperation();
}

void SkeletonBuilderPage::removeFromGroup()
{
    synchroniseSelection();
    if (session().selectedMarkerCount < 1 || session().selectedGroupCount != 1)
        return;
    session().removeSelectedFromGroup();
    rebuildGroupList();
    afterOperation();
}

void SkeletonBuilderPage::deleteMarkers()
{
    synchroniseSelection();
    session().deleteSelectedMarkers();
    rebuildAllLists();
    afterOperation();
}

void SkeletonBuilderPage::setCollider()
{
    synchroniseSelection();
    if (session().selectedMarkerCount < 1 || session().groupCount() < 1)
        return;
    session().setCollider();
    afterColliderChange();
}

void SkeletonBuilderPage::setColliderInGroup()
{
    synchroniseSelection();
    if (session().selectedMarkerCount < 1 || session().selectedGroupCount < 1)
        return;
    session().setColliderInGroup();
    afterColliderChange();
}

void SkeletonBuilderPage::afterColliderChange()
{
    // The names changed but the rows did not: rewrite them in place so that the joints the
    // user picked stay selected.
    const QSignalBlocker block(markerList_);
    if (markerList_->topLevelItemCount() == session().markerCount()) {
        for (int r = 0; r < session().markerCount(); ++r) {
            const QString name = QString::fromStdString(displayText(session().markers[static_cast<size_t>(r)]->name));
            QTreeWidgetItem* item = markerList_->topLevelItem(r);
            item->setText(1, name);
            item->setToolTip(1, name);
        }
    } else {
        rebuildMarkerList();
    }
    afterOperation();
}

void SkeletonBuilderPage::mirrorMarkers()
{
    synchroniseSelection();
    const int count = session().selectedMarkerCount;
    if (count != 1 && count != 2)
        return;
    session().mirrorMarkers();
    afterOperation();
}

void SkeletonBuilderPage::createHeadingVector()
{
    int a = 0, b = 0, g = 0;
    if (!vectorRows(a, b, g))
        return;
    session().createHeadingVectorFor(a, b, g);
    afterOperation();
}

void SkeletonBuilderPage::createUpVector()
{
    int a = 0, b = 0, g = 0;
    if (!vectorRows(a, b, g))
        return;
    session().createUpVectorFor(a, b, g);
    afterOperation();
}

void SkeletonBuilderPage::flipHeadingVector()
{
    synchroniseSelection();
    session().flipHeadingVectors();
    afterOperation();
}

void SkeletonBuilderPage::flipUpVector()
{
    synchroniseSelection();
    session().flipUpVectors();
    afterOperation();
}

void SkeletonBuilderPage::deleteHeadingVector()
{
    synchroniseSelection();
    session().deleteHeadingVectors();
    afterOperation();
}

void SkeletonBuilderPage::deleteUpVector()
{
    synchroniseSelection();
    session().deleteUpVectors();
    afterOperation();
}

void SkeletonBuilderPage::saveProgress()
{
    mainWindow.saveProgress();
}

void SkeletonBuilderPage::goToNextStep()
{
    // Poses are built frame by frame over the take: every trajectory must cover it exactly
    // (after "Mirror Markers" that means every marker has been mirrored).
    if (!session().allTrajectoriesHaveFrameCount())
        return;
    mainWindow.goToNextStep(kPageCode);
}

} // namespace duolo
