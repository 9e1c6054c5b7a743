// A small hand-written "init" for the behaviours that do not depend on the real
// catalogue: a few categories covering every flag combination and every way a
// category can be labelled.
export function smallInit(overrides = {}) {
  return {
    type: 'init',
    admin: true,
    system: { os: 'Windows 10 Pro 22H2', cpu: 'Intel Core i5-8400', gpu: 'Intel UHD 630', user: 'anna', host: 'DESK-1' },
    categories: [
      {
        key: 'telemetry',
        name: 'telemetry',
        tweaks: [
          { id: 0, name: 'Disable DiagTrack', recommended: true, warn: false },
          { id: 1, name: 'Disable CEIP', recommended: true, warn: false },
          { id: 2, name: 'Block telemetry hosts', recommended: false, warn: true },
        ],
      },
      {
        key: 'cleanup',
        name: 'cleanup',
        tweaks: [
          { id: 3, name: 'Clear temp files', recommended: true, warn: false },
          { id: 4, name: 'Clear "Cryptographic Services" traces', recommended: false, warn: false },
          { id: 5, name: 'Empty recycle bin', recommended: true, warn: false },
        ],
      },
      {
        key: 'misc',
        name: 'misc',
        tweaks: [
          { id: 6, name: 'Disable CPU mitigations', recommended: false, warn: true },
          { id: 7, name: 'Flagged both ways', recommended: true, warn: true },
        ],
      },
      { key: 'extra', name: 'Extra name', tweaks: [{ id: 8, name: 'Unlisted tweak', recommended: false, warn: false }] },
      { key: 'nameless', tweaks: [] },
    ],
    ...overrides,
  };
}

// Recommended ids of smallInit in catalogue order, and its warn ids.
export const SMALL_RECOMMENDED = [0, 1, 3, 5, 7];
export const SMALL_ALL = [0, 1, 2, 3, 4, 5, 6, 7, 8];
