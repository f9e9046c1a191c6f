// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSGraphicsContext.h"

namespace huecast::kit
{
namespace
{

thread_local NSGraphicsContext* current = nullptr;

} // namespace

NSGraphicsContext* NSGraphicsContext::currentContext()
{
    return current;
}

NSGraphicsContext::Scope::Scope(NSGraphicsContext& context) : m_previous(current)
{
    current = &context;
}

NSGraphicsContext::Scope::~Scope()
{
    current = m_previous;
}

} // namespace huecast::kit
