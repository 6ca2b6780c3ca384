#pragma once
// TImageComponent: one image held in a drawing surface of its own, with an image buffer that
// wraps the surface, an I/O object (IO, with its parameter record Params) and a processing
// object (Proc) attached to that buffer. There is no display here; the component only tells its
// owner (OnImageChange) when the image changed.
//
// The image always lives in the surface: Bitmap() and ImageBuffer() show the same pixels, drawing
// on Bitmap's canvas changes what IO and Proc see, and a reader that allocates the buffer
// re-formats the surface.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "formats/image_io.h"
#include "formats/io_params.h"
#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"
#include "imaging/resample_filter.h"
#include "imaging/surface.h"

namespace luma {

// The platform's button-face colour, the background of every image component.
constexpr TColor clBtnFace = 0x00F0F0F0;

class TImageComponent final : private TImageIOHost {
public:
    TImageComponent();
    ~TImageComponent() override;
    TImageComponent(const TImageComponent&) = delete;
    TImageComponent& operator=(const TImageComponent&) = delete;

    TImageIO& IO() { return *io_; }
    const TImageIO& IO() const { return *io_; }
    TImageProc& Proc() { return *proc_; }
    TIOParamsVals& Params() { return io_->Params(); }
    const TIOParamsVals& Params() const { return io_->Params(); }
    TSurface& Bitmap() { return *surface_; }
    TImageBuffer& ImageBuffer() { return *buffer_; }
    const TImageBuffer& ImageBuffer() const { return *buffer_; }

    // The image always lives in the surface (the only mode of this system).
    bool LegacyBitmap() const { return true; }
    // Display settings; they never change pixels.
    bool EnableAlphaChannel = false;
    bool AutoFit = false;
    bool AutoUndo() const { return proc_->AutoUndo; }
    void SetAutoUndo(bool value) { proc_->AutoUndo = value; }

    TColor Background() const { return background_; }
    void SetBackground(TColor color) {
        background_ = color;
        proc_->Background = color;
    }
    // Resolution handed over by the last load.
    int32_t DpiX() const { return dpiX_; }
    int32_t DpiY() const { return dpiY_; }

    // Called after every load and every processing operation that changed the image.
    std::function<void()> OnImageChange;

    // --- I/O (see TImageIO) ---
    void LoadImageFile(const std::string& fileName) { io_->LoadFromFile(fileName); }
    void SaveImageFile(const std::string& fileName) { io_->SaveToFile(fileName); }
    void SaveAsBMP(const std::string& fileName) { io_->SaveAsBMP(fileName); }
    void SaveAsJPEG(const std::string& fileName) { io_->SaveAsJPEG(fileName); }
    void SaveAsGIF(const std::string& fileName) { io_->SaveAsGIF(fileName); }
    void SaveAsPCX(const std::string& fileName) { io_->SaveAsPCX(fileName); }
    void SaveAsPNG(const std::string& fileName) { io_->SaveAsPNG(fileName); }
    void SaveAsTIFF(const std::string& fileName) { io_->SaveAsTIFF(fileName); }

    // --- processing (see TImageProc) ---
    void Resample(int32_t newWidth, int32_t newHeight, TResampleFilter filter) {
        proc_->Resample(newWidth, newHeight, filter);
    }
    void ConvertTo24Bit() { proc_->ConvertTo24Bit(); }
    void Rotate(double angle, bool smooth, uint8_t method, TColor background) {
        proc_->Rotate(angle, smooth, method, background);
    }

    // Copies the I/O parameters of another component, then its image (alpha plane included).
    void Assign(const TImageComponent& source);
    // Copies the parameters of an I/O object only.
    void Assign(const TImageIO& source) { io_->Assign(source); }

private:
    TColor HostBackground() const override { return background_; }
    void HostSetDpi(int32_t dpiX, int32_t dpiY) override {
        dpiX_ = dpiX;
        dpiY_ = dpiY;
    }
    void HostImageChanged() override { Changed(); }
    void Changed() {
        if (OnImageChange) OnImageChange();
    }

    // Declared in this order so that the buffer, IO and Proc go before the surface they use.
    std::unique_ptr<TSurface> surface_;
    std::unique_ptr<TImageBuffer> buffer_;
    std::unique_ptr<TImageIO> io_;
    std::unique_ptr<TImageProc> proc_;
    TColor background_ = clBtnFace;
    int32_t dpiX_ = kScreenDpi;
    int32_t dpiY_ = kScreenDpi;
};

}  // namespace luma
