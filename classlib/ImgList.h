// Image lists: a row of pictures of one size, drawn by index (the row images
// of a list view, the glyphs of flashing buttons).
#pragma once

#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };

class TImageList : public TComponent {
public:
    explicit TImageList(TComponent* AOwner);
    ~TImageList() override;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Changing the size empties the list, as the class library does.
    void SetWidth(int width);
    void SetHeight(int height);
    int Count() const { return int(FImages.size()); }
    bool Masked() const { return FMasked; }
    void SetMasked(bool v) { FMasked = v; }
    TColor BkColor() const { return FBkColor; }
    void SetBkColor(TColor c) { FBkColor = c; Changed(); }

    // Adds the images that fill a bitmap from left to right (a bitmap as wide
    // as several images adds them all). The mask's white pixels are left out
    // (mask may be nullptr). Returns the index of the first image added, -1
    // when none fits.
    int Add(const TBitmap* image, const TBitmap* mask);
    // As Add, leaving out the pixels of maskColor (clDefault: the colour of
    // the bottom-left pixel).
    int AddMasked(const TBitmap* image, TColor maskColor);
    void Replace(int index, const TBitmap* image, const TBitmap* mask);
    void Delete(int index);
    void Clear();
    // Copies image index into bitmap (sized to the list's images). False
    // when the index is out of range.
    bool GetBitmap(int index, TBitmap* bitmap) const;
    // Draws image index with its top-left corner at (x, y); a disabled image
    // is drawn greyed.
    void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true) const;
    // The image itself (transparent pixels have alpha 0); nullptr out of range.
    const TBitmap* Image(int index) const;

    TNotifyEvent OnChange;

private:
    void Changed();
    int FWidth = 16;
    int FHeight = 16;
    bool FMasked = true;
    TColor FBkColor = clNone;
    std::vector<std::unique_ptr<TBitmap>> FImages;
};
