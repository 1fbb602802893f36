#pragma once

#include <QString>

namespace torvix {

// Where the window's picture goes on the printed page, in twips from the top-left corner of the
// printer's printable area.
struct PrintPlacement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

constexpr int printMarginTwips = 567;      // 1 cm from the left and from the top
constexpr int printAllowanceTwips = 1134;  // taken off the page width and height: twice that

// The picture (width and height in hundredths of a millimetre) on a page whose printable area is
// `pageWidth` × `pageHeight` twips. A picture larger than the page less the allowance in either
// direction is fitted to it, keeping its proportions, and then scaled by `printScale`; a picture
// that fits is placed at its own numbers whatever the scale. The two units are set against each
// other as plain numbers, which prints a fitting window at about 1.76 times its screen size.
// Ratios are single precision, products rounded half to even; results never leave 0..INT_MAX.
PrintPlacement printPlacement(int pictureWidth, int pictureHeight, int pageWidth, int pageHeight,
                              float printScale);

// The number a text begins with, read the way the free-size box is read: blanks, tabs and line
// feeds are passed over wherever they stand, then an optional sign, digits with an optional
// decimal point and an optional exponent (E or D). Full-width digits and signs count as their
// ASCII forms. A text that does not begin with a number reads as 0; one beyond the range of a
// double reads as ±infinity.
double leadingNumber(const QString& text);

// The messages that tell the user nothing was printed and why: no default printer, the queue
// refused the job (`reason` as CUPS gives it), the chosen size leaves nothing to draw, the page
// could not be made.
struct PrintFailureMessage {
    QString text;
    QString title;
};
PrintFailureMessage noDefaultPrinterMessage();
PrintFailureMessage printRefusedMessage(const QString& printer, const QString& reason);
PrintFailureMessage pictureTooSmallMessage();
PrintFailureMessage printNotMadeMessage(const QString& reason);

}  // namespace torvix
