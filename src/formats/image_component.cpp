#include "formats/image_component.h"

namespace luma {

TImageComponent::TImageComponent()
    : surface_(std::make_unique<TSurface>()), buffer_(std::make_unique<TImageBuffer>()) {
    buffer_->WrapSurface(*surface_, true);
    io_ = std::make_unique<TImageIO>(*buffer_, static_cast<TImageIOHost*>(this));
    proc_ = std::make_unique<TImageProc>(buffer_.get());
    proc_->Background = background_;
    proc_->SetOnChanged([this] { Changed(); });
}

TImageComponent::~TImageComponent() = default;

void TImageComponent::Assign(const TImageComponent& source) {
    if (&source == this) return;
    io_->Assign(*source.io_);
    buffer_->Assign(*source.buffer_);
    if (!source.buffer_->HasAlphaChannel()) buffer_->RemoveAlphaChannel();
    dpiX_ = source.dpiX_;
    dpiY_ = source.dpiY_;
    Changed();
}

}  // namespace luma
