// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Declared but never defined: this compiles, and only the link fails.
vec4 shade();

void main()
{
    gl_FragColor = shade();
}
