// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// An unclosed call: the compiler rejects it.
void main()
{
    gl_FragColor = vec4(;
}
