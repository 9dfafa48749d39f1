#pragma once
// Where the main window goes when a movie opens: large enough for the video area to hold the
// picture at its own size, within the screen, never smaller than the size it grew from.
#include <QRect>
#include <QSize>

struct WindowFitRequest {
    QRect window;       // the main window's geometry now
    QSize baseSize;     // the size it grew from (the skin's or the user's): never less
    QSize pictureArea;  // the room the picture has in the window now
    QSize picture;      // the picture as shown (turned in the quarter-turn modes)
    QRect available;    // the screen's available geometry
};

// The window geometry for the request. Everything around the picture area (frame, controls)
// keeps its size, so the window changes by exactly what the area must. A picture that does
// not fit the screen gets the largest area of its aspect that does. The window is never
// smaller than the base size; it keeps its centre where the screen allows and is moved onto
// the screen where it would stick out. Without a picture or an area: the window as it is.
QRect FitWindowToPicture(const WindowFitRequest& request);
