#pragma once

#include "motiongraph/GraphView.h"
#include "ui/PipelinePage.h"

class QCheckBox;
class QFrame;
class QHelpEvent;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSlider;

namespace duolo {

class ClipStripWidget;
class FrameSlider;
class Graph2D;
class Graph2DNode;
class GraphCanvasWidget;
class Group;
class SpinSlider;
class UpDownControl;
class ValueBox;

// "Motion Graph Editor": the current group's motion graph on a 2D canvas with pan, zoom and a
// grid, and a 3D preview that plays the selected node's clip or the selected edge's transition.
//
// The page keeps widgets and view state only: the graph is changed through Graph2D's
// operations, the frame through the session's. Mouse: the left button draws an edge from the
// pressed node to the released one; the right button selects and moves nodes, selects edges or
// drags a selection rectangle (Ctrl keeps the selection); a right double-click centres; the
// wheel zooms. Keys on the canvas: "+"/"-" zoom, the arrows pan, Home shows the whole graph.
class MotionGraphEditorPage : public PipelinePage {
    Q_OBJECT
public:
    // What the preview plays.
    enum PreviewMode { NoPreview = 0, EdgePreview = 1, NodePreview = 2 };

    explicit MotionGraphEditorPage(MainDialog& mainWindow);

    void activate() override;

    const GraphView& graphView() const { return view_; }
    int groupNumber() const { return groupNumber_; }
    // The group being edited, or null when the session has none.
    Group* currentGroup() const;
    Graph2D* currentGraph() const;
    bool isPlaying() const { return playing_; }
    PreviewMode previewMode() const { return previewMode_; }
    Graph2DNode* previewSource() const { return previewSource_; }
    Graph2DNode* previewTarget() const { return previewTarget_; }
    bool inSourceClip() const { return inSourceClip_; }

    // The controls' actions.
    void play();
    void pause();
    void frameForward();
    void frameBack();
    void seekFrame(int frame);
    void stepGroup(int delta);
    void stepGridSpacing(int delta);
    void moveToOrigin();
    // Chooses what the preview plays from the current selection (and stops playing).
    void choosePreview();
    // Delete (the button, the Delete and Backspace keys): removes the selected edges, and the
    // selected nodes with their edges, as one undoable step.
    void deleteSelection();
    // "Lay Out": the current group's graph as a time line of the take, or by its structure
    // (force-directed); one undoable step, then the whole graph is shown.
    enum class Layout { Timeline, Structure };
    void layOut(Layout layout);
    // A click on the clip strip: selects (alone) the node whose clip holds the frame and centres
    // the view on it.
    void selectClipAt(int32_t frame);

    QString frameText() const;
    // The tooltip text for a canvas pixel: the node or edge under it, or empty.
    QString toolTipAt(CanvasPixel pixel) const;

    GraphCanvasWidget* canvas() const { return canvas_; }
    QSlider* frameSlider() const;
    QCheckBox* showAllGroupsBox() const { return showAllGroups_; }
    QCheckBox* showGridBox() const { return showGrid_; }
    UpDownControl* groupSpinner() const { return groupSpinner_; }
    UpDownControl* gridSpacingSpinner() const { return gridSpinner_; }
    ValueBox* groupBox() const { return groupBox_; }
    ValueBox* gridSpacingBox() const { return gridBox_; }
    ValueBox* zoomBox() const { return zoomBox_; }
    ValueBox* screenCentreBox() const { return centreBox_; }
    ValueBox* mousePositionBox() const { return mouseBox_; }
    QPushButton* playButton() const { return play_; }
    QPushButton* nextStepButton() const { return nextStep_; }
    QPushButton* savePictureButton() const { return savePicture_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* layOutButton() const { return layOut_; }
    ClipStripWidget* clipStrip() const { return clipStrip_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void drawScene() override;
    void advance() override;
    void stopPlayback() override { playing_ = false; }

private:
    QWidget* buildCanvasColumn(QWidget* parent);
    QWidget* buildPreviewColumn(QWidget* parent);
    QWidget* buildSettingsColumn(QWidget* parent);

    // Mouse and keys on the canvas.
    void leftPress(CanvasPixel p);
    void leftRelease(CanvasPixel p);
    void rightPress(CanvasPixel p, bool keepSelection);
    void rightRelease();
    void rightDoubleClick(CanvasPixel p);
    void mouseMove(CanvasPixel p);
    void wheel(int delta);
    // The view's keys: "+"/"=" and "-" zoom, the arrows pan, Home shows the whole graph.
    bool keyPress(int key);
    void showToolTip(const QHelpEvent& event);

    void previewStep();
    // The current group's view as kept with its graph: taken over once when it came from a
    // graph file, written back whenever the view changes.
    void takeStoredView();
    void keepViewWithGraph();
    bool previewNodesExist() const;
    // Redraws the canvas and rewrites the displays after a change of the view or the graph.
    void refreshCanvas();
    void syncFrameControls();

    GraphView view_;
    int groupNumber_ = 0;
    CanvasPixel mouse_;
    bool mouseSeen_ = false;
    bool playing_ = false;
    PreviewMode previewMode_ = NoPreview;
    Graph2DNode* previewSource_ = nullptr;
    Graph2DNode* previewTarget_ = nullptr;
    bool inSourceClip_ = true;

    GraphCanvasWidget* canvas_ = nullptr;
    QFrame* previewArea_ = nullptr;
    SpinSlider* spinSlider_ = nullptr;
    FrameSlider* frames_ = nullptr;
    QPushButton* play_ = nullptr;
    QCheckBox* showAllGroups_ = nullptr;
    QCheckBox* showGrid_ = nullptr;
    UpDownControl* groupSpinner_ = nullptr;
    UpDownControl* gridSpinner_ = nullptr;
    ValueBox* groupBox_ = nullptr;
    ValueBox* gridBox_ = nullptr;
    ValueBox* zoomBox_ = nullptr;
    ValueBox* centreBox_ = nullptr;
    ValueBox* mouseBox_ = nullptr;
    QPushButton* nextStep_ = nullptr;
    QPushButton* savePicture_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* layOut_ = nullptr;
    ClipStripWidget* clipStrip_ = nullptr;
    bool movedSincePress_ = false;
};

} // namespace duolo
