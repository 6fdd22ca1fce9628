#pragma once

#include "ui/PipelinePage.h"

#include <QString>
#include <QStringList>

#include <vector>

class QFrame;
class QPushButton;
class QTreeWidget;

namespace duolo {

class SpinSlider;

// Tab 2, "Skeleton Builder": the user picks trajectories, edges and groups in three lists and
// builds the skeleton with the buttons beneath them, watching the result in an unlit 3D view.
//
// The page keeps no model data. The lists mirror the session (row r is object number r, since
// every deletion renumbers), the rows selected in them are copied into the session's selection
// before anything reads it, and every button calls one session operation, then refreshes the
// lists that operation may have changed. A button whose precondition fails does nothing.
class SkeletonBuilderPage : public PipelinePage {
    Q_OBJECT
public:
    explicit SkeletonBuilderPage(MainDialog& mainWindow);

    void activate() override;
    void documentRestored(bool sessionReplaced) override;

    // Copies the rows selected in the three lists into the session's selection (flags and
    // counts), in row order. Runs on every change of a list's selection and before every frame.
    void synchroniseSelection();
    // Fill the lists again from the session.
    void rebuildMarkerList();
    void rebuildEdgeList();
    void rebuildGroupList();
    void rebuildAllLists();

    QTreeWidget* markerList() const { return markerList_; }
    QTreeWidget* edgeList() const { return edgeList_; }
    QTreeWidget* groupList() const { return groupList_; }
    SpinSlider* turnSlider() const { return turnSlider_; }
    QFrame* viewFrame() const { return viewFrame_; }

    QPushButton* createEdgeButton() const { return createEdge_; }
    QPushButton* createCentroidButton() const { return createCentroid_; }
    QPushButton* createGroupButton() const { return createGroup_; }
    QPushButton* deleteMarkersButton() const { return deleteMarkers_; }
    QPushButton* addToGroupButton() const { return addToGroup_; }
    QPushButton* removeFromGroupButton() const { return removeFromGroup_; }
    QPushButton* mirrorMarkersButton() const { return mirrorMarkers_; }
    QPushButton* setColliderButton() const { return setCollider_; }
    QPushButton* setColliderInGroupButton() const { return setColliderInGroup_; }
    QPushButton* deleteEdgesButton() const { return deleteEdges_; }
    QPushButton* deleteGroupsButton() const { return deleteGroups_; }
    QPushButton* createHeadingVectorButton() const { return createHeading_; }
    QPushButton* flipHeadingVectorButton() const { return flipHeading_; }
    QPushButton* deleteHeadingVectorButton() const { return deleteHeading_; }
    QPushButton* createUpVectorButton() const { return createUp_; }
    QPushButton* flipUpVectorButton() const { return flipUp_; }
    QPushButton* deleteUpVectorButton() const { return deleteUp_; }
    QPushButton* saveProgressButton() const { return saveProgress_; }
    QPushButton* nextStepButton() const { return nextStep_; }

    // The rows' texts, as the lists show them.
    static QString edgeName(int fromIndex, int toIndex);
    static QString groupName(const std::vector<int>& memberIndices);

protected:
    void drawScene() override;
    void advance() override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildControls();
    QPushButton* addButton(QWidget* parent, const QString& caption, const QString& objectName,
                           const QString& toolTip, void (SkeletonBuilderPage::*action)());

    // Button handlers: precondition, one session operation, the lists that changed.
    void createEdge();
    void deleteEdges();
    void createCentroid();
    void createGroup();
    void deleteGroups();
    void addToGroup();
    void removeFromGroup();
    void deleteMarkers();
    void setCollider();
    void setColliderInGroup();
    void afterColliderChange();  // the marker rows after their names changed
    void mirrorMarkers();
    void createHeadingVector();
    void createUpVector();
    void flipHeadingVector();
    void flipUpVector();
    void deleteHeadingVector();
    void deleteUpVector();
    void saveProgress();
    void goToNextStep();

    // Number and name column texts of a row, from the session.
    QStringList markerRowTexts(int row) const;
    QStringList edgeRowTexts(int row) const;
    QStringList groupRowTexts(int row) const;
    void refreshStaleLists();
    void appendMarkerRow(int row);
    void appendEdgeRow(int row);
    void appendGroupRow(int row);
    // Marker rows and group row chosen for a vector, read from the lists themselves; false
    // unless exactly two marker rows and one group row are selected.
    bool vectorRows(int& first, int& second, int& group) const;
    // After a button: the session follows the lists again and the page shows the result.
    void afterOperation();

    QFrame* viewFrame_ = nullptr;
    SpinSlider* turnSlider_ = nullptr;
    QTreeWidget* markerList_ = nullptr;
    QTreeWidget* edgeList_ = nullptr;
    QTreeWidget* groupList_ = nullptr;

    QPushButton* createEdge_ = nullptr;
    QPushButton* createCentroid_ = nullptr;
    QPushButton* createGroup_ = nullptr;
    QPushButton* deleteMarkers_ = nullptr;
    QPushButton* addToGroup_ = nullptr;
    QPushButton* removeFromGroup_ = nullptr;
    QPushButton* mirrorMarkers_ = nullptr;
    QPushButton* setCollider_ = nullptr;
    QPushButton* setColliderInGroup_ = nullptr;
    QPushButton* deleteEdges_ = nullptr;
    QPushButton* deleteGroups_ = nullptr;
    QPushButton* createHeading_ = nullptr;
    QPushButton* flipHeading_ = nullptr;
    QPushButton* deleteHeading_ = nullptr;
    QPushButton* createUp_ = nullptr;
    QPushButton* flipUp_ = nullptr;
    QPushButton* deleteUp_ = nullptr;
    QPushButton* saveProgress_ = nullptr;
    QPushButton* nextStep_ = nullptr;
};

} // namespace duolo
