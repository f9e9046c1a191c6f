// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

// Every GL entry point the project calls, resolved at run time by libepoxy from whatever context
// is current, the compatibility-profile ones included (glBegin, glPushAttrib, glTexEnvi, ...).
// Never include <GL/gl.h> or <EGL/egl.h> beside this header: epoxy defines the same names.
#include <epoxy/gl.h>
