// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Looks the input colour up in the 3D lattice; the lattice covers inputs 0..1 only.
#extension GL_ARB_texture_rectangle : enable

uniform sampler2DRect inputTexture;
uniform sampler3D lookup;
uniform float multiplier;
uniform float offset;

void main()
{
    vec4 colour = texture2DRect(inputTexture, gl_TexCoord[0].st);
    vec3 clamped = clamp(colour.rgb, 0.0, 1.0);
    gl_FragColor = vec4(texture3D(lookup, clamped * multiplier + offset).rgb, colour.a);
}
