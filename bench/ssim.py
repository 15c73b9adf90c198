"""Grey structural similarity (SSIM) of two equally sized images, with an 11-tap Gaussian window."""

import numpy as np

_K1, _K2, _L = 0.01, 0.03, 255.0
_C1 = (_K1 * _L) ** 2
_C2 = (_K2 * _L) ** 2


def _gaussian_taps(size=11, sigma=1.5):
    x = np.arange(size, dtype=np.float64) - (size - 1) / 2
    taps = np.exp(-(x * x) / (2 * sigma * sigma))
    return (taps / taps.sum()).astype(np.float32)


_TAPS = _gaussian_taps()


def _blur(a):
    """Separable Gaussian filter, keeping only the region where the window fits."""
    n = len(_TAPS)
    rows = sum(_TAPS[i] * a[i : a.shape[0] - n + 1 + i, :] for i in range(n))
    return sum(_TAPS[i] * rows[:, i : a.shape[1] - n + 1 + i] for i in range(n))


def ssim(a, b):
    """Mean SSIM of two 2-D grey arrays (0-255) of the same shape; 1.0 means identical."""
    if a.shape != b.shape:
        raise ValueError(f"shapes differ: {a.shape} and {b.shape}")
    if min(a.shape) < len(_TAPS):
        raise ValueError(f"image too small for the window: {a.shape}")
    x = a.astype(np.float32)
    y = b.astype(np.float32)
    mx, my = _blur(x), _blur(y)
    sxx = _blur(x * x) - mx * mx
    syy = _blur(y * y) - my * my
    sxy = _blur(x * y) - mx * my
    num = (2 * mx * my + _C1) * (2 * sxy + _C2)
    den = (mx * mx + my * my + _C1) * (sxx + syy + _C2)
    return float(np.mean(num / den))
