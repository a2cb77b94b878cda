// Filtered resampling of images to other sizes: the editor's in-between scales are made once, at
// load time, from the 2x artwork. Shrinking averages areas (an exact box filter: each destination
// pixel is the area-weighted mean of the source pixels its footprint covers, edge pixels weighted
// by the fraction covered); enlarging interpolates bilinearly between pixel centres. Each axis
// chooses on its own, so one may shrink while the other enlarges.
//
// Filtering weights colours by alpha (premultiplied while averaging, straight again after) so the
// colour of transparent pixels never bleeds into an edge; a destination pixel that gathers no
// alpha at all is transparent black. Results round to nearest. Equal sizes copy the pixels as they
// are. Double precision throughout: clarity over speed, as nothing here runs per frame.
#pragma once

#include "LiceBitmap.h"

// Resamples sourceRect of source onto destRect of dest (null rectangles: the whole bitmap),
// writing every destination pixel of destRect that lies inside dest (no blending). Only pixels
// inside sourceRect are read: sampling clamps to its edges, so a frame of a film strip never
// bleeds into its neighbour. A sourceRect reaching beyond the source is first cut to it. Absent
// bitmaps, bitmaps without pixels, empty rectangles, a sourceRect outside the source and a
// destRect outside dest draw nothing, as does a failed allocation of the working rows. Source and
// destination areas must not overlap.
void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* source, const LICE_RECT* destRect,
                     const LICE_RECT* sourceRect);

// A film strip of `frames` frames stacked vertically (each source->Height() / frames high),
// resampled frame by frame into a new bitmap of frames of destFrameWidth x destFrameHeight, also
// stacked. Null when an argument is bad (no source pixels, frames < 1, a height the frames do not
// divide, a size below 1) or memory runs out. The caller owns the result.
LICE_MemBitmap* LICE_ResampleFrames(LICE_IBitmap* source, int frames, int destFrameWidth,
                                    int destFrameHeight);
