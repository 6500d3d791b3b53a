#pragma once
#include <QImage>

// The pictures of the two buttons (46 x 32, 24 bits, on the light grey that is
// drawn transparent) and the application icon (48 x 48, 32 bits).
QImage executePicture();
QImage cancelPicture();
QImage applicationIconImage();
