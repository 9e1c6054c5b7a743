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

// The "details" answer for smallInit: every cost class, every reversibility, a
// reason with markup, and descriptions with words found in no name.
export function smallDetails() {
  const row = (id, cost, reversible, costText, description, extra = {}) => ({
    id, key: `k/${id}`, description, docs: [], steps: [], reversible, cost, costText, ...extra,
  });
  return {
    type: 'details',
    tweaks: [
      row(0, 'none', 'full', 'Отключает только отправку данных.', 'Stops the telemetry service. It sends usage data to Microsoft.', {
        docs: ['Configure Windows diagnostic data', '<i>Markup</i> in a title'],
        steps: [
          { family: 'disable-service', summary: 'Set the start type of DiagTrack to disabled' },
          { family: 'set-registry-value', summary: 'Set AllowTelemetry to 0' },
        ],
      }),
      row(1, 'protection', 'full', 'Снижает защиту: пример.', 'Turns off the check of downloaded files for the zone mark.'),
      row(2, 'feature', 'full', 'Отключает функцию: пример.', 'Blocks the endpoints in the hosts file.'),
      row(3, 'data', 'none', 'Временные файлы будут удалены.', 'Deletes the contents of the temporary folders for good.'),
      row(4, 'none', 'none', 'Удаляет только служебные следы.', 'Removes traces that Windows writes again.'),
      row(5, 'data', 'none', '<b>Корзина</b> & «всё» будет очищено.', 'Empties the Recycle Bin on every drive.'),
      row(6, 'protection', 'full', 'Отключает защиту процессора.', 'Disables the speculative execution mitigations of the processor.'),
      row(7, 'breaks', 'partial', 'Может нарушить: пример.', 'Changes a setting that older devices depend on.'),
      row(8, 'none', 'full', 'Ничего не теряется.', 'A quarnfeld sample entry, e.g. for tests. Its second sentence.'),
    ],
  };
}
