// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/Modal.h"

#include <mutex>

namespace huecast::kit
{
namespace
{

struct PresenterSlot
{
    std::mutex mutex;
    std::shared_ptr<ModalPresenter> presenter;
};

PresenterSlot& presenterSlot()
{
    static PresenterSlot slot;
    return slot;
}

} // namespace

ModalPresenter::~ModalPresenter() = default;

void setModalPresenter(std::shared_ptr<ModalPresenter> presenter)
{
    PresenterSlot& slot = presenterSlot();
    const std::scoped_lock lock(slot.mutex);
    slot.presenter = std::move(presenter);
}

std::shared_ptr<ModalPresenter> modalPresenter()
{
    PresenterSlot& slot = presenterSlot();
    const std::scoped_lock lock(slot.mutex);
    return slot.presenter;
}

long NSOpenPanel::runModal()
{
    m_paths.clear();
    const auto presenter = modalPresenter();
    if (!presenter)
    {
        return kModalResponseCancel;
    }
    OpenPanelResult result = presenter->runOpenPanel(m_request);
    if (result.response == kModalResponseOK)
    {
        m_paths = std::move(result.paths);
    }
    return result.response;
}

long NSAlert::runModal()
{
    const auto presenter = modalPresenter();
    return presenter ? presenter->runAlert(m_content) : kAlertFirstButtonReturn;
}

} // namespace huecast::kit
