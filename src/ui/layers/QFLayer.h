#pragma once
// QFLayer: a node of the small layer tree that the icon view draws: a
// rectangle with a position in its superlayer, a transform, an opacity and
// a depth, showing an image, a background, a border and a shadow or drawing
// of its own, above its sublayers' parent and below its sublayers.
//
// Model and presentation. The setters change the model values at once; no
// change animates by itself. Animations added to a layer (QFLayerAnimation
// and its subclasses) change what shows without changing the model: the
// presentation values at a media time are the model values with every
// animation of the layer applied in the order they were added. An
// animation finished and removed on completion is taken off the layer by
// the next frame of its tree's view, and shows nothing meanwhile.
//
// Geometry. A layer's own coordinates are its bounds; its anchor point
// (fractions of the bounds, the middle by default) sits at its position in
// the superlayer, and its transform applies about the anchor point. Like
// the widgets, the tree has y growing downwards. The frame is the bounds as
// the superlayer sees them; setting it moves and sizes the layer as if its
// transform were the identity.
//
// Depth. Sublayers draw in order of their (presentation) z positions, and
// in the order they were added where those are equal.
//
// Content. Drawing, back to front: the shadow cast by everything below,
// the background colour (rounded by the corner radius), the contents image
// scaled into the bounds (or at its own size from the top left), the
// border, then the sublayers. A layer that draws its own content (a drawer
// given, or drawInContext overridden) draws it into its contents when it is
// displayed: once after setNeedsDisplay, at the next commit.
//
// Commit. Before a tree is drawn, its view commits it: every layer that
// needs layout lays its sublayers out, and every layer that needs display
// is displayed. Tests commit trees themselves.
//
// Rasterizing. A layer that rasterizes draws itself and its sublayers into
// a bitmap at its rasterization scale, kept until something in it changes
// or an animation of a sublayer runs, and shows the bitmap at its own
// opacity as one piece.
//
// Tree. A superlayer owns its sublayers; the topmost layer of a tree
// reports changes to its host (QFLayerView), which repaints and runs the
// frames of running animations.
//
// Threads: main thread only.

#include "kit/gui/OMImage.h"
#include "ui/layers/QFLayerAnimation.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QFLayer;

// What hosts a tree: told of every change of its layers.
class QFLayerTreeHost {
public:
    virtual ~QFLayerTreeHost() = default;
    virtual void layerTreeDidChange() = 0;
    virtual void layerTreeDidAddAnimation() = 0;
};

// The values that show at a moment.
struct QFLayerPresentation {
    QRectF bounds;
    QPointF position;
    QTransform transform;
    double opacity = 1;
    double zPosition = 0;
};

class QFLayer : public std::enable_shared_from_this<QFLayer> {
public:
    enum class ContentsGravity { Resize, TopLeft };
    using Drawer = std::function<void(QPainter& painter, const QFLayer& layer)>;

    QFLayer() = default;
    virtual ~QFLayer();
    QFLayer(const QFLayer&) = delete;
    QFLayer& operator=(const QFLayer&) = delete;

    // Geometry (model values).
    const QRectF& bounds() const { return bounds_; }
    void setBounds(const QRectF& bounds);
    const QPointF& position() const { return position_; }
    void setPosition(QPointF position);
    const QPointF& anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(QPointF anchorPoint);
    const QTransform& transform() const { return transform_; }
    void setTransform(const QTransform& transform);
    QRectF frame() const;
    void setFrame(const QRectF& frame);
    double zPosition() const { return zPosition_; }
    void setZPosition(double z);
    double opacity() const { return opacity_; }
    void setOpacity(double opacity);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);

    // Look.
    const std::shared_ptr<const OMImage>& contents() const { return contents_; }
    void setContents(std::shared_ptr<const OMImage> contents);
    ContentsGravity contentsGravity() const { return contentsGravity_; }
    void setContentsGravity(ContentsGravity gravity);
    // Invalid: none.
    const QColor& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    const QColor& borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& color);
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double width);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);
    // The shadow of what the layer and its sublayers draw, offset in the
    // tree's y-down coordinates, blurred by the radius, shown at the
    // shadow colour's alpha times the shadow opacity (0: no shadow).
    void setShadow(const QColor& color, QPointF offset, double radius, double opacity);
    double shadowOpacity() const { return shadowOpacity_; }

    // Pixels per point of the layer's drawn contents and of its raster.
    double contentsScale() const { return contentsScale_; }
    virtual void setContentsScale(double scale);
    double rasterizationScale() const { return rasterizationScale_; }
    virtual void setRasterizationScale(double scale);
    bool shouldRasterize() const { return shouldRasterize_; }
    void setShouldRasterize(bool rasterize);

    // Custom number properties, 0 until set; animatable under their key.
    double valueForKey(std::string_view key) const;
    void setValue(double value, std::string_view key);
    // Keys whose change (model or animation) redisplays the layer.
    virtual bool needsDisplayForKey(std::string_view key) const;

    // Tree.
    QFLayer* superlayer() const { return superlayer_; }
    const std::vector<std::shared_ptr<QFLayer>>& sublayers() const { return sublayers_; }
    // Adds on top (at the end), taking the layer from its superlayer first.
    void addSublayer(const std::shared_ptr<QFLayer>& layer);
    // Adds just before `sibling` (at the end when it is no sublayer).
    void insertSublayerBelow(const std::shared_ptr<QFLayer>& layer, const QFLayer* sibling);
    void removeFromSuperlayer();
    void removeAllSublayers();
    // The topmost layer reports to `host` (not owned; null: none).
    void setHost(QFLayerTreeHost* host) { host_ = host; }

    // Animations, by key. Adding copies the animation and fixes a begin
    // time of 0 to now; an animation under the same key is replaced.
    void addAnimation(const QFLayerAnimation& animation, const std::string& key);
    std::shared_ptr<const QFLayerAnimation> animationForKey(std::string_view key) const;
    std::vector<std::string> animationKeys() const;
    void removeAnimationForKey(std::string_view key);
    void removeAllAnimations();

    // Presentation values at `time` (media time).
    QFLayerPresentation presentation(double time) const;
    QFLayerPresentation presentation() const { return presentation(QFCurrentMediaTime()); }
    // A number property ("opacity", "zPosition" or custom) at `time`.
    double presentationValue(std::string_view key, double time) const;
    double presentationValue(std::string_view key) const {
        return presentationValue(key, QFCurrentMediaTime());
    }

    // Whether this layer or one below has an animation that still changes
    // what shows after `time`.
    bool hasRunningAnimations(double time) const;
    // One frame of the tree's animations at `time`: takes off finished
    // animations that go on completion, and displays the layers whose
    // display follows an animated key.
    void stepAnimations(double time);

    // Display and layout.
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    void displayIfNeeded();
    // Draws the layer's own content into its contents.
    virtual void display();
    bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
    void setNeedsDisplayOnBoundsChange(bool needs) { needsDisplayOnBoundsChange_ = needs; }
    // How the layer follows a change of its superlayer's size: the flexible
    // parts (margins and size, along each axis) share the change in
    // proportion to their sizes, evenly when all are 0.
    enum AutoresizingMask : unsigned {
        MinXMargin = 1,
        WidthSizable = 2,
        MaxXMargin = 4,
        MinYMargin = 8,
        HeightSizable = 16,
        MaxYMargin = 32,
        FlexibleMargins = MinXMargin | MaxXMargin | MinYMargin | MaxYMargin,
    };
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    // The layer delegate's drawing, in the layer's coordinates.
    void setDrawer(Drawer drawer);
    void setNeedsLayout();
    void layoutIfNeeded();
    // Lays the sublayers out; nothing by default.
    virtual void layoutSublayers() {}
    // Lays out and displays what needs it, here and below.
    void commit();

    // Geometry between layers of one tree (model values). A null layer
    // stands for the topmost layer.
    QTransform transformToSuperlayer() const;
    QPointF convertPoint(QPointF point, const QFLayer* fromLayer) const;
    QRectF convertRect(const QRectF& rect, const QFLayer* fromLayer) const;

    // Draws the tree from this layer down as it shows at `time`, in the
    // superlayer's coordinates.
    void render(QPainter& painter, double time) const;
    // Draws the layer's content and its sublayers (model values) in its
    // own coordinates, without its position, transform and opacity.
    void renderInContext(QPainter& painter) const;
    // The part of its own coordinates that the layer and its sublayers
    // draw on (model values), shadows included.
    QRectF drawnBounds() const;

protected:
    // Draws the layer's own content; the drawer by default.
    virtual void drawInContext(QPainter& painter) const;
    virtual bool drawsContent() const { return static_cast<bool>(drawer_); }
    // A change of what the layer looks like (`ownContent`), or only of
    // where it stands in its superlayer.
    void didChange(bool ownContent);

private:
    struct KeyedAnimation {
        std::string key;
        std::shared_ptr<const QFLayerAnimation> animation;
    };

    // Model values when `time` is none.
    using Moment = std::optional<double>;

    QFLayer& root();
    QTransform transformToRoot() const;
    QTransform transformToSuperlayer(const QFLayerPresentation& values) const;
    QFLayerPresentation modelValues() const;
    QFLayerPresentation valuesAt(Moment time) const;
    void renderAt(QPainter& painter, Moment time) const;
    void renderContent(QPainter& painter, Moment time) const;
    void renderSublayers(QPainter& painter, Moment time) const;
    void renderRasterized(QPainter& painter, double time) const;
    void drawOwnContent(QPainter& painter) const;
    // The bounds and what the sublayers draw, without this layer's shadow.
    QRectF contentBounds() const;
    bool sublayersHaveRunningAnimations(double time) const;
    bool hasAnimations() const;
    void applyAnimation(const QFLayerAnimation& animation, double time,
                        QFLayerPresentation& values) const;
    void notifyHost(bool addedAnimations);
    void resizeWithOldSuperlayerSize(QSizeF oldSize);

    QRectF bounds_;
    QPointF position_;
    QPointF anchorPoint_{0.5, 0.5};
    QTransform transform_;
    double zPosition_ = 0;
    double opacity_ = 1;
    bool hidden_ = false;
    unsigned autoresizingMask_ = 0;

    std::shared_ptr<const OMImage> contents_;
    ContentsGravity contentsGravity_ = ContentsGravity::Resize;
    QColor backgroundColor_, borderColor_;
    double borderWidth_ = 0;
    double cornerRadius_ = 0;
    QColor shadowColor_ = Qt::black;
    QPointF shadowOffset_;
    double shadowRadius_ = 0;
    double shadowOpacity_ = 0;
    double contentsScale_ = 1;
    double rasterizationScale_ = 1;
    bool shouldRasterize_ = false;
    std::map<std::string, double, std::less<>> values_;

    QFLayer* superlayer_ = nullptr;
    std::vector<std::shared_ptr<QFLayer>> sublayers_;
    QFLayerTreeHost* host_ = nullptr;
    std::vector<KeyedAnimation> animations_;

    Drawer drawer_;
    bool needsDisplay_ = false;
    bool needsDisplayOnBoundsChange_ = false;
    bool needsLayout_ = false;

    // Bumped by every change of what the layer draws in its own
    // coordinates, sublayers included; the raster is of one generation.
    uint64_t contentGeneration_ = 0;
    mutable QImage raster_;
    mutable QRectF rasterRect_;
    mutable uint64_t rasterGeneration_ = 0;
    // False while the raster shows a moment of a sublayer's animation.
    mutable bool rasterIsCurrent_ = false;
};
