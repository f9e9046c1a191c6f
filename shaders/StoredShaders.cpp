// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The scrambled shader texts, generated at build time from vsh.glsl and fsh.glsl.
#include "StoredShaders.inc"
