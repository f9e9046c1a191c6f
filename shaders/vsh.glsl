// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Passes the fixed-function position and texture coordinate 0 through.
void main()
{
    gl_Position = ftransform();
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
