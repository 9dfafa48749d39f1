#pragma once
// The display area of the main dialog: paints the shown frame (scaled by the zoom, centred,
// turned by the display mode) with the play position, the scrolling title and the skin's
// scope strip over it, and carries the display menu, the zoom and full screen. Frames are
// pulled and turned by the CFrameView half on the audio notification thread; this half only
// paints, on the user-interface thread.
//
// Threads: everything here runs on the user-interface thread except Invalidate, which any
// thread may call (it queues a repaint).
#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/DisplayMenu.h"
#include "display/ScrollText.h"
#include "engine/FrameView.h"
#include "platform/MessageTarget.h"
#include "support/PictureBitmap.h"

class QMenu;
class QPainter;

class CVideoWnd : public QWidget, public CFrameView {
    Q_OBJECT

public:
    static constexpr int kTitleTimerId = 10;
    static constexpr const char* kDefaultSkinFolder = "skin\\xpstyle\\";
    static constexpr const char* kScopeFileName = "scope.bmp";

    // dialog: where the speed and property commands are posted (may be null: not posted).
    // settings: the user's options, which the menu shows and changes (not owned; it outlives
    // the window).
    CVideoWnd(win::MessageTarget* dialog, CPlayerSettings& settings, QWidget* parent = nullptr);
    ~CVideoWnd() override;

    void SetMessageTarget(win::MessageTarget* dialog) { dialog_ = dialog; }
    // Called after the menu changed an option kept in the settings file (repeat, adjust, the
    // display mode), so that its owner writes it.
    void SetSettingsChanged(std::function<void()> changed) {
        settingsChanged_ = std::move(changed);
    }

    // The session's options, kept in the settings object.
    bool IsFullScreen() const { return settings_->FullScreen(); }
    float GetZoom() const { return settings_->Zoom(); }
    void SetZoom(float zoom) { settings_->SetZoom(zoom); }
    // A new file starts at the natural size.
    bool OpenStream(CPlaybackEngine* engine, win::RecursiveMutex* engineLock,
                    win::Event* wakeEvent) override;
    // Where LoadScopeBitmap looks: program folder + the current skin's sub-folder (its
    // source returns "" for the default one).
    void SetProgramFolder(const std::string& folder) { programFolder_ = folder; }
    void SetSkinFolderSource(std::function<std::string()> source) {
        skinFolder_ = std::move(source);
    }

    void LoadScopeBitmap();
    bool LayoutTitle();
    void Tick(int timerId);

    // Display menu and its commands.
    void ShowContextMenu();  // at the cursor
    void ShowContextMenu(const QPoint& globalPos);
    std::unique_ptr<QMenu> BuildContextMenu();
    void OnCommand(int id);
    void ZoomIn();
    void ZoomOut();
    void ZoomReset();
    void FitZoom();
    void ToggleRepeat();
    void ToggleAdjust();
    void SetDisplayMode(DisplayMode mode);
    void ToggleFullScreen();
    void EnterFullScreen();
    void RestoreMainWindow();
    void LeaveFullScreen();

    // What a paint puts on the screen, composed into one image of the widget's size.
    QImage RenderScene();
    // The paints so far and the region the last one covered.
    int PaintCount() const { return paintCount_; }
    QRegion LastPaintRegion() const { return lastPaintRegion_; }
    const CScrollText& TitleStrip() const { return titleStrip_; }
    QSize ScreenSize() const { return screenSize_; }
    bool HasScope() const { return !scope_.IsEmpty(); }

    // How the frame reaches the composed image. Converted (the default): the notification
    // thread has already made an upright RGB32 copy, which the paint draws without any
    // conversion. The other two draw the bottom-up frame itself: one drawImage under a
    // flipping transform, or one plain 1:1 copy per row when unscaled. Measured, the
    // conversion off the user-interface thread makes the paint several times cheaper.
    enum class FrameBlit { Converted, PainterFlip, RowByRow };
    void SetFrameBlit(FrameBlit blit) { frameBlit_ = blit; }  // before a stream opens
    // Draws one bottom-up frame into target.
    static void DrawFrame(QPainter& painter, const ShownFrame& frame, const QRect& target,
                          FrameBlit blit = FrameBlit::PainterFlip);
    // Bottom-up 24- or 32-bit frame to an upright RGB32 image of its size, or scaled to
    // `size` by taking the source pixel under each output pixel's centre (out is reallocated
    // only when the size changes; null for an unusable frame).
    static void ConvertUpright(const ShownFrame& frame, QImage& out);
    static void ConvertUpright(const ShownFrame& frame, QSize size, QImage& out);
    // A stored frame of a stream of `format` to the upright RGB32 image painted at `size`,
    // turned by display modes 0 to 3: decoded at the smallest DCT scale that covers the size
    // and, when that is the size itself and nothing turns, straight into `out`. `scratch`
    // holds a decode that still needs the turn or the scale. False when it does not decode.
    static bool DecodeStored(const StoredFrame& frame, const win::BITMAPINFOHEADER& format,
                             int displayMode, QSize size, CStoredFrameDecoder& decoder,
                             std::vector<uint8_t>& scratch, QImage& out);
    // The size a picture is drawn at in an area of the given size (the window's width by the
    // video area's height) under the zoom: the zoomed size when it fits or the zoom is above
    // 1, else the picture scaled down to fit the area as a whole.
    static QSize ShownSize(QSize picture, float zoom, QSize area);
    // The room the picture has in a window of this size: its width by the height above the
    // scope strip and the text line.
    QSize PictureArea(QSize windowSize) const;
    QSize PictureArea() const { return PictureArea(size()); }
    // The open stream's picture as the display mode shows it (width and height exchanged in
    // the quarter turns); empty without a stream.
    QSize ShownPictureSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void Invalidate() override;
    void FramePrepared(const ShownFrame* frame) override;
    bool ConvertsQueuedFrames(int displayMode) const override;
    void ConvertQueuedFrame(const QueuedFrame& frame) override;
    bool PreparesStoredFrames(int displayMode) const override;
    bool PrepareStoredFrame(const StoredFrame& frame, const win::BITMAPINFOHEADER& format,
                            int displayMode) override;
    void PublishPreparedFrame() override;
    bool TracesAtPaint() const override { return true; }

private:
    // What a paint laid out: what decides where things go (`layout`), the picture's
    // rectangle (empty without a frame) and the texts that move within the same layout: the
    // time and the title strip's slice.
    struct SceneLayout {
        struct Layout {
            QSize size;
            bool fullScreen = false;
            bool drewFrame = false;
            QRect picture;
            int areaBottom = 0;
            bool scope = false;
            std::string seekText, noticeText, title;
            bool operator==(const Layout&) const = default;
        } layout;
        QRect picture;
        QString timeText;
        std::array<int, 3> titleSlice{};
    };
    std::array<int, 3> TitleSlice() const;
    // fillBackground: paint black where the picture does not cover (into a buffer that is
    // not cleared first).
    SceneLayout DrawScene(QPainter& painter, bool fillBackground = false);
    void DrawScope(QPainter& painter, int y);
    // The sync trace's line for a frame painted for the first time.
    void TracePainted(const ShownFrame& frame);
    void DrawOverlayText(QPainter& painter, int x, int y, const QString& text) const;
    QFont DialogFont() const;
    void ApplyFullScreenGeometry();
    display_menu::MenuState CurrentMenuState() const;

    void SettingsChanged();

    // Set at construction or by the dialog; UI thread.
    CPlayerSettings* const settings_;
    std::function<void()> settingsChanged_;
    win::MessageTarget* dialog_ = nullptr;
    std::string programFolder_;
    std::function<std::string()> skinFolder_;
    // The primary screen's size when the window was made; in full screen, that of the
    // monitor the main window covers.
    QSize screenSize_;

    // UI thread only.
    CScrollText titleStrip_;
    std::pair<int32_t, int32_t> tracedLabel_{-1, -1};  // the last frame the trace has a line of
    CPictureBitmap scope_;
    std::atomic<FrameBlit> frameBlit_{FrameBlit::Converted};  // read on the notification thread
    QRect savedMainRect_;   // main window geometry before full screen
    QRect savedVideoRect_;  // this window's geometry before full screen
    bool savedMainFullScreen_ = false;

    // The shown frame, upright in RGB32, made on the notification thread. Lock order: the
    // frame view's locks, then this one.
    mutable std::mutex pictureMutex_;
    QImage picture_;  // under pictureMutex_; null until the stream's first frame
    QImage spare_;    // notification thread, under the frame view's work lock
    // The size the paint last drew the picture at (PackSize), 0 when the paint lets Qt scale
    // it; the notification thread converts frames to it. Written by the paint, read on the
    // notification thread.
    std::atomic<uint64_t> pictureTarget_{0};
    static uint64_t PackSize(QSize size);
    // The size the notification thread converts the next frame to.
    QSize ConversionTarget(const win::BITMAPINFOHEADER& format) const;
    void PublishSpare();  // notification thread, under the frame view's work lock

    // Stored frames, decoded on the frame worker straight into the next picture: at the drawn
    // size, through the JPEG decoder's own scaling where it covers it. Frame worker only.
    CStoredFrameDecoder storedDecoder_;
    QImage storedNext_;                   // swapped with picture_ to put it up
    std::vector<uint8_t> storedScratch_;  // a decode that still needs a turn or a scale

    // A repaint is queued and not yet run; keeps a busy notification thread from flooding
    // the event queue. Any thread.
    std::atomic<bool> updateQueued_{false};
    // The last paint's layout; a queued repaint covers only its picture while the layout and
    // the moving texts stay. UI thread.
    SceneLayout painted_;
    // The paints so far and the region the last one covered, for tests. UI thread.
    int paintCount_ = 0;
    QRegion lastPaintRegion_;
};
