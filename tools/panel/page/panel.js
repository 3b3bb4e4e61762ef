// The MFB test panel's page. It draws the boards that the server describes, shows the values of
// each pass of its event stream, and does everything it changes by running mfbctl command lines
// of the panel's session (POST /api/run), so that every refusal reads as on the command line.
'use strict';

const token = document.querySelector('meta[name="mfb-token"]').content;
const cards = new Map(); // "board/module" or "board/ports" -> card
const charts = new Map(); // card key -> {plot, data}
const runs = new Map(); // run id -> handler of the output a command prints while it runs
let described = '';
let runNumber = 0;
const irqHistory = []; // [t, total] of the last passes, for the rate

// ---- helpers ------------------------------------------------------------------------------------

function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (v !== undefined && v !== null && v !== false) e.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children.flat()) if (c !== null && c !== undefined) e.append(c);
  return e;
}
const field = (label, input) => el('label', {}, label + ' ', input);
const text = (value, attrs) => el('input', Object.assign({type: 'text', value}, attrs || {}));
const select = (options, value) =>
  el('select', {}, options.map(o => el('option', {value: o, selected: o === String(value)}, o)));
const check = () => el('input', {type: 'checkbox'});
const lastLine = s => s.trim().split('\n').filter(Boolean).pop() || '';
function compact(v) {
  const a = Math.abs(v);
  return a >= 1e9 ? (v / 1e9) + 'G' : a >= 1e6 ? (v / 1e6) + 'M' : a >= 1e4 ? (v / 1e3) + 'k' : String(v);
}
function formatNs(ns) {
  if (ns >= 1e9) return (ns / 1e9).toPrecision(4) + ' s';
  if (ns >= 1e6) return (ns / 1e6).toPrecision(4) + ' ms';
  if (ns >= 1e3) return (ns / 1e3).toPrecision(4) + ' \u00b5s';
  return ns + ' ns';
}

// ---- commands -----------------------------------------------------------------------------------

// Runs one command line of the session; shows it, with what it printed, in the transcript and in
// the card's result line. `onOutput(stream, text)` sees what it prints while it runs.
async function run(card, words, onOutput) {
  const id = 'r' + (++runNumber) + '-' + Math.random().toString(36).slice(2, 8);
  const entry = el('div', {}, el('div', {class: 'cmd'}, '$ mfbctl ' + words.join(' ')));
  const transcript = document.getElementById('transcript');
  transcript.prepend(entry);
  while (transcript.children.length > 100) transcript.lastChild.remove();
  if (onOutput) runs.set(id, onOutput);
  let answer;
  try {
    const response = await fetch('/api/run?id=' + id, {
      method: 'POST', headers: {'X-MFB-Token': token, 'Content-Type': 'text/plain'},
      body: words.join('\n')});
    answer = response.ok ? await response.json()
                         : {exit: 1, out: '', err: 'the panel answered ' + response.status};
  } catch (e) {
    answer = {exit: 1, out: '', err: 'the panel cannot be reached: ' + e};
  }
  runs.delete(id);
  if (answer.out) entry.append(el('pre', {}, answer.out.replace(/\r/g, '')));
  if (answer.err) entry.append(el('pre', {class: 'err'}, answer.err.replace(/.*\r/g, '')));
  if (card && card.result) {
    const failed = answer.exit !== 0;
    const shown = failed ? lastLine(answer.err) : lastLine(answer.out) || 'done';
    card.result.textContent = shown;
    card.result.className = 'result' + (failed ? ' failed' : '');
  }
  return answer;
}

async function upload(slot, file) {
  const response = await fetch('/api/upload?slot=' + slot, {
    method: 'POST', headers: {'X-MFB-Token': token}, body: await file.arrayBuffer()});
  if (!response.ok) throw new Error('upload refused: ' + response.status);
  return (await response.json()).path;
}

// ---- charts -------------------------------------------------------------------------------------

const kChartSeconds = 20;

function chart(key, parent, label) {
  const data = [[], []];
  const width = Math.max(280, parent.clientWidth || 300);
  const plot = new uPlot({
    width, height: 140, legend: {show: false},
    scales: {x: {time: false}},
    axes: [{label: 's'}, {size: 70, values: (u, ticks) => ticks.map(compact)}],
    series: [{}, {label, stroke: '#0b5cad', width: 1.5}],
  }, data, parent);
  charts.set(key, {plot, data});
}

function plotPoint(key, t, value) {
  const c = charts.get(key);
  if (!c) return;
  c.data[0].push(t);
  c.data[1].push(value);
  while (c.data[0].length && c.data[0][0] < t - kChartSeconds) {
    c.data[0].shift();
    c.data[1].shift();
  }
  c.plot.setData(c.data);
}

// ---- cards --------------------------------------------------------------------------------------

// A card: its frame, a line for a failing read, its live part, its controls and a result line.
function makeCard(key, title, subtitle) {
  const card = {key};
  card.error = el('div', {class: 'error'});
  card.live = el('div', {class: 'live'});
  card.controls = el('div', {});
  card.result = el('div', {class: 'result'});
  card.root = el('div', {class: 'card', id: 'card-' + key.replace('/', '-')},
                 el('h3', {}, title, ' ', el('span', {class: 'muted'}, subtitle || '')),
                 card.error, card.live, card.controls, card.result);
  card.update = () => {};
  cards.set(key, card);
  return card;
}

function row(...items) { return el('div', {class: 'row'}, ...items); }
function button(label, onclick) { return el('button', {onclick}, label); }

const families = {
  counter(card, b, m, sim) {
    const base = ['counter', '-b', b, '-m', m];
    const value = el('div', {class: 'big value'}, '-');
    const signed = el('span', {class: 'muted'});
    card.live.append(value, signed);
    const plot = el('div', {class: 'chart'});
    card.live.append(plot);
    requestAnimationFrame(() => chart(card.key, plot, 'count'));
    card.update = (v, t) => {
      value.textContent = v.count;
      signed.textContent = 'signed ' + v.signed;
      plotPoint(card.key, t, v.signed);
    };
    const range = select(['32', '16'], '32'), evaluation = select(['4', '2', '1'], '4');
    const invert = check(), modulo = text('1000'), compare = text('5000');
    card.controls.append(
      row(field('range', range), field('edges', evaluation), field('down', invert),
          button('set up', () => run(card, [...base, 'setup', '--range', range.value,
                                             '--evaluation', evaluation.value,
                                             ...(invert.checked ? ['--invert'] : [])]))),
      row(button('clear', () => run(card, [...base, 'clear'])),
          button('latch', () => run(card, [...base, 'latch', '--registers', '3'])),
          button('status', () => run(card, [...base, 'status']))),
      row(field('compare at', compare),
          button('set', () => run(card, [...base, 'compare', 'set', compare.value])),
          field('every', modulo),
          button('modulo', () => run(card, [...base, 'compare', 'modulo', modulo.value]))),
      row(el('span', {class: 'muted'}, 'compare events'),
          button('enable', () => run(card, [...base, 'compare', 'enable'])),
          button('disable', () => run(card, [...base, 'compare', 'disable']))));
    if (sim) {
      const rate = text('20000', {class: 'encoder-rate'}), pulse = text('1000');
      card.controls.append(el('div', {class: 'sim'},
        row(field('encoder edges/s', rate),
            button('turn', () => run(card, [...base, 'sim', '--rate', rate.value])),
            button('stop', () => run(card, [...base, 'sim', '--rate', '0']))),
        row(field('edges', pulse),
            button('pulse', () => run(card, [...base, 'sim', '--pulse', pulse.value])))));
    }
  },

  timer(card, b, m) {
    const t = select(['0', '1', '2'], '0');
    const base = () => ['timer', '-b', b, '-m', m, '-t', t.value];
    const reloads = [0, 0, 0];
    const rows = [0, 1, 2].map(i => {
      const count = el('td', {class: 'num'}), state = el('td', {}), bar = el('progress', {max: 1});
      return {tr: el('tr', {}, el('td', {}, 'timer ' + i), count, state, el('td', {}, bar)),
              count, state, bar};
    });
    card.live.append(el('table', {}, rows.map(r => r.tr)));
    card.update = v => rows.forEach((r, i) => {
      r.count.textContent = v.counts[i];
      r.state.textContent = v.counting[i] ? 'counting' : 'stopped';
      r.bar.value = reloads[i] ? 1 - v.counts[i] / reloads[i] : 0;
    });
    const mode = select(['single', 'gated-single', 'rate', 'square', 'strobe', 'gated-strobe'], 'rate');
    const reload = text('100000');
    card.controls.append(
      row(field('timer', t), field('mode', mode), field('reload', reload)),
      row(button('init', async () => {
            const a = await run(card, [...base(), 'init', '--mode', mode.value, '--reload', reload.value]);
            if (a.exit === 0) reloads[t.value] = Number(reload.value) || 2 ** 32;
          }),
          button('enable', () => run(card, [...base(), 'enable'])),
          button('enable with interrupt', () => run(card, [...base(), 'enable', '--interrupt'])),
          button('disable', () => run(card, [...base(), 'disable']))));
  },

  pwm(card, b, m) {
    const p = select(['0', '1'], '0');
    const base = () => ['pwm', '-b', b, '-m', m, '-p', p.value];
    const rows = [0, 1].map(i => {
      const cells = [el('td', {class: 'num'}), el('td', {class: 'num'}), el('td', {}), el('td', {})];
      return {tr: el('tr', {}, el('td', {}, 'PWM ' + i), cells), cells};
    });
    card.live.append(el('table', {}, el('tr', {}, ['', 'low', 'high', 'enabled', 'level'].map(h => el('th', {}, h))),
                        rows.map(r => r.tr)));
    card.update = v => rows.forEach((r, i) => {
      const s = v.pwms[i];
      r.cells[0].textContent = formatNs(s.low_ns);
      r.cells[1].textContent = formatNs(s.high_ns);
      r.cells[2].textContent = s.enabled ? 'yes' : 'no';
      r.cells[3].textContent = ['low', 'high', 'hold'][s.level] || s.level;
    });
    const low = text('3us'), high = text('7us');
    card.controls.append(
      row(field('PWM', p), field('low', low), field('high', high)),
      row(button('init', () => run(card, [...base(), 'init', '--low', low.value, '--high', high.value])),
          button('new timing', () => run(card, [...base(), 'timing', '--low', low.value, '--high', high.value])),
          button('enable', () => run(card, [...base(), 'enable'])),
          button('disable', () => run(card, [...base(), 'disable']))));
  },

  ssi(card, b, m) {
    const base = ['ssi', '-b', b, '-m', m];
    const rows = [0, 1, 2].map(i => {
      const cells = [el('td', {class: 'num'}), el('td', {class: 'num'})];
      return {tr: el('tr', {}, el('td', {}, 'channel ' + i), cells), cells};
    });
    card.live.append(el('table', {}, el('tr', {}, ['', 'position', 'turns'].map(h => el('th', {}, h))),
                        rows.map(r => r.tr)));
    card.update = v => rows.forEach((r, i) => {
      r.cells[0].textContent = v.positions[i];
      r.cells[1].textContent = v.turns[i];
    });
    const frame = text('25'), position = text('13'), turns = text('12');
    card.controls.append(
      row(field('frame bits', frame), field('position', position), field('turns', turns)),
      row(button('init', () => run(card, [...base, 'init', '--frame', frame.value, '--position',
                                          position.value, '--turns', turns.value])),
          button('inputs', () => run(card, [...base, 'input']))));
  },

  ttl(card, b, m, sim) {
    const base = ['ttl', '-b', b, '-m', m];
    const ports = [[0, 1], [2, 9], [10, 17], [18, 25]];
    let lines = new Array(26).fill(0), directions = null;
    const dirSelects = ports.map(() => select(['in', 'out'], 'in'));
    const buttons = [];
    const portRows = ports.map(([lo, hi], p) => {
      const cells = [];
      for (let l = lo; l <= hi; ++l) {
        const b = el('button', {class: 'line', 'data-line': l, title: 'line ' + l,
                                onclick: () => toggle(l)}, String(l));
        buttons[l] = b;
        cells.push(b);
      }
      return el('div', {class: 'port'}, el('span', {class: 'muted'}, `port ${p} (${lo}-${hi}) `),
                el('span', {class: 'dir', 'data-port': p}, '?'), el('div', {class: 'lines'}, cells));
    });
    card.live.append(...portRows);
    const portOf = l => (l < 2 ? 0 : Math.floor((l - 2) / 8) + 1);
    const isOut = l => directions && directions[portOf(l)] === 1;
    // A click switches an output line; on a simulated board it drives an input line.
    function toggle(l) {
      const level = lines[l] ? 0 : 1;
      if (isOut(l)) run(card, [...base, 'set', `${l}=${level}`]);
      else if (sim) run(card, [...base, 'sim', `${l}=${level}`]);
      else card.result.textContent = `line ${l} is an input: make its port an output first`;
    }
    card.update = v => {
      lines = v.lines;
      directions = v.directions || null;
      v.lines.forEach((level, l) => {
        buttons[l].classList.toggle('high', level === 1);
        buttons[l].classList.toggle('out', isOut(l));
      });
      card.live.querySelectorAll('.dir').forEach(d => {
        d.textContent = directions ? (directions[d.dataset.port] ? 'out' : 'in') : '(direction not set yet)';
      });
    };
    card.controls.append(
      row(...dirSelects.map((s, p) => field('port ' + p, s)),
          button('set directions', () => run(card, [...base, 'direction', ...dirSelects.map(s => s.value)]))),
      el('div', {class: 'muted'}, sim ? 'click a line: an output switches, an input is driven by the simulated bench'
                                      : 'click an output line to switch it'));
  },

  etm(card, b, m, sim) {
    const e = select(['0', '1'], '0');
    const base = () => ['etm', '-b', b, '-m', m, '--etm', e.value];
    const rows = [0, 1].map(i => {
      const cells = [el('td', {}), el('td', {class: 'num'}), el('td', {class: 'num'})];
      return {tr: el('tr', {}, el('td', {}, 'ETM ' + i), cells), cells};
    });
    card.live.append(el('table', {}, el('tr', {}, ['', 'state', 'measured', 'duty'].map(h => el('th', {}, h))),
                        rows.map(r => r.tr)));
    const plot = el('div', {class: 'chart'});
    card.live.append(plot);
    requestAnimationFrame(() => chart(card.key, plot, 'ETM 0 measured \u00b5s'));
    const states = ['not enabled', 'measuring', 'finished', 'finished, earlier not read'];
    card.update = (v, t) => {
      rows.forEach((r, i) => {
        const s = v.etms[i];
        r.cells[0].textContent = s.enabled ? states[s.state] || s.state : 'not enabled';
        r.cells[1].textContent = formatNs(s.value_ns);
        r.cells[2].textContent = s.duty_cycle.toFixed(2) + ' %';
      });
      plotPoint(card.key, t, v.etms[0].value_ns / 1e3);
    };
    const tick = text('100ns'), startEdge = select(['rising', 'falling'], 'rising');
    card.controls.append(
      row(field('ETM', e), field('time base', tick),
          button('init', () => run(card, [...base(), 'init', '--base', tick.value]))),
      row(field('start', startEdge),
          button('enable', () => run(card, [...base(), 'enable', '--start', startEdge.value, '--mode', 'continuous'])),
          button('disable', () => run(card, [...base(), 'disable']))));
    if (sim) {
      const period = text('10us'), high = text('3us');
      card.controls.append(el('div', {class: 'sim'}, row(field('period', period), field('high', high),
        button('signal', () => run(card, [...base(), 'sim', '--period', period.value, '--high', high.value])))));
    }
  },

  freq(card, b, m, sim) {
    const base = ['freq', '-b', b, '-m', m];
    const hz = el('div', {class: 'big'}, '-'), detail = el('div', {class: 'muted'});
    const plot = el('div', {class: 'chart'});
    card.live.append(hz, detail, plot);
    requestAnimationFrame(() => chart(card.key, plot, 'Hz'));
    card.update = (v, t) => {
      hz.textContent = v.hz !== undefined ? v.hz.toPrecision(6) + ' Hz' : v.periods + ' periods';
      detail.textContent = `${v.periods} periods in the gate` +
        (v.gate_ns ? `, gate ${formatNs(v.gate_ns)}` : ' (the gate is known after init)') +
        (v.enabled ? '' : ', not enabled');
      if (v.hz !== undefined) plotPoint(card.key, t, v.hz);
    };
    const clock = select(['40', '33', '30'], '40'), gate = text('1ms');
    card.controls.append(
      row(field('clock MHz', clock), field('gate', gate),
          button('init', () => run(card, [...base, 'init', '--clock', clock.value, '--gate', gate.value]))),
      row(button('enable', () => run(card, [...base, 'enable', '--continuous'])),
          button('disable', () => run(card, [...base, 'disable']))));
    if (sim) {
      const input = text('25000');
      card.controls.append(el('div', {class: 'sim'}, row(field('input Hz', input),
        button('set', () => run(card, [...base, 'sim', '--hz', input.value])))));
    }
  },

  'pulse-encoder'(card, b, m) {
    const e = select(['0', '1', '2', '3'], '0');
    const base = () => ['pulse-encoder', '-b', b, '-m', m, '--encoder', e.value];
    const rows = [0, 1, 2, 3].map(i => {
      const cells = [el('td', {class: 'num'}), el('td', {})];
      return {tr: el('tr', {}, el('td', {}, 'encoder ' + i), cells), cells};
    });
    card.live.append(el('table', {}, el('tr', {}, ['', 'pulses to come', ''].map(h => el('th', {}, h))),
                        rows.map(r => r.tr)));
    card.update = v => rows.forEach((r, i) => {
      r.cells[0].textContent = v.counts[i];
      r.cells[1].textContent = v.running[i] ? 'running' : 'stopped';
    });
    const period = text('100us'), count = text('1000'), continuous = check();
    card.controls.append(
      row(field('encoder', e), field('period', period), field('continuous', continuous),
          button('init', () => run(card, [...base(), 'init', '--period', period.value,
                                          ...(continuous.checked ? ['--continuous'] : [])]))),
      row(field('pulses', count), button('load', () => run(card, [...base(), 'write', count.value])),
          button('enable', () => run(card, [...base(), 'enable'])),
          button('disable', () => run(card, [...base(), 'disable'])),
          button('output', () => run(card, [...base(), 'sim']))));
  },
};

function moduleCard(board, module) {
  const key = `${board.index}/${module.position}`;
  const card = makeCard(key, `module ${module.position}: ${module.function}`, module.words);
  const build = families[module.family];
  if (build) build(card, String(board.index), String(module.position), board.simulated);
  else card.live.append(el('div', {class: 'muted'}, 'nothing to show for ' + module.words));
  return card;
}

// The board's own digital ports.
function portsCard(board) {
  const b = String(board.index);
  const card = makeCard(`${b}/ports`, 'digital ports', 'the board\'s own, 0 to 3');
  const cells = [0, 1, 2, 3].map(p => el('td', {class: 'bits'}));
  card.live.append(el('table', {}, [0, 1, 2, 3].map(p => el('tr', {}, el('td', {}, 'port ' + p), cells[p]))));
  // Each port is read alone; a refusal shows once on the card, its code on the port's line.
  card.update = v => {
    v.ports.forEach((p, i) => {
      cells[i].textContent = p.error ? p.error.split(':')[1].trim()
                                     : [...Array(8).keys()].map(bit => (p.inputs >> bit) & 1).join(' ');
      cells[i].className = p.error ? 'error' : 'bits';
    });
    card.error.textContent = [...new Set(v.ports.filter(p => p.error).map(p => p.error))].join('\n');
  };
  const port = select(['0', '1', '2', '3'], '0'), mask = text('0x0f'), drive = text('0x55');
  const base = () => ['dio', '-b', b, '--port', port.value];
  card.controls.append(
    row(field('port', port), button('configure', () => run(card, [...base(), 'configure'])),
        field('lines', mask), button('on', () => run(card, [...base(), 'on', mask.value])),
        button('off', () => run(card, [...base(), 'memory', 'on', 'off', mask.value]))));
  if (board.simulated)
    card.controls.append(el('div', {class: 'sim'}, row(field('inputs', drive),
      button('drive', () => run(card, [...base(), 'sim', '--drive', drive.value])),
      button('loop outputs back', () => run(card, [...base(), 'sim', '--loopback', 'on'])))));
  return card;
}

function eepromCard(board) {
  const b = String(board.index);
  const card = makeCard(`${b}/eeprom`, 'EEPROM', 'words of the PCI interface\'s EEPROM');
  const address = text('0'), value = text('0x12345678');
  card.controls.append(
    row(field('word', address), button('read', () => run(card, ['eeprom', '-b', b, 'read', address.value]))),
    row(field('value', value), button('write', () => {
      if (confirm(`Write ${value.value} into EEPROM word ${address.value} of board ${b}?`))
        run(card, ['eeprom', '-b', b, 'write', address.value, value.value]);
    })));
  return card;
}

// Four firmware files: each sent to the panel as it is chosen, inspected together, and flashed
// after a confirmation, with the progress the flash prints while it runs.
function firmwareCard(board) {
  const b = String(board.index);
  const card = makeCard(`${b}/firmware`, 'firmware', 'the four modules\' files');
  const paths = [null, null, null, null];
  const inputs = [0, 1, 2, 3].map(slot => el('input', {type: 'file', class: 'firmware-file', 'data-slot': slot,
    onchange: async e => {
      paths[slot] = e.target.files.length ? await upload(slot, e.target.files[0]) : null;
      if (paths.every(Boolean)) inspect();
    }}));
  const report = el('table', {class: 'inspect'});
  const bar = el('progress', {max: 100, value: 0, class: 'flash-progress'});
  const stage = el('div', {class: 'muted stage'});
  const failWrite = text('', {placeholder: 'flash address'});
  card.live.append(...inputs.map((i, slot) => row(el('span', {class: 'muted'}, 'module ' + slot), i)), report);
  async function inspect() {
    const a = await run(card, ['firmware', 'inspect', '--json', ...paths]);
    report.replaceChildren(...a.out.trim().split('\n').filter(l => l.startsWith('{')).map((l, slot) => {
      const r = JSON.parse(l);
      return el('tr', {}, el('td', {}, 'module ' + slot), el('td', {}, `${r.payload} bytes`),
                el('td', {class: r.accepted ? '' : 'error'}, r.accepted ? 'accepted' : 'not accepted: ' + r.reason));
    }));
  }
  // What the flash prints: its stages, and the progress bar's counts of the two long stages.
  let pending = '';
  function progress(stream, chunk) {
    if (stream === 1) {
      for (const line of chunk.split('\n')) if (line.includes('->')) stage.textContent = line.split('-> ').pop();
      return;
    }
    pending += chunk;
    const parts = pending.split(/[\r\n]/);
    pending = parts.pop();
    for (const p of parts) {
      const m = /(programming|reading back) .* (\d+)\/(\d+) bytes/.exec(p);
      if (m) {
        bar.value = (m[1] === 'programming' ? 0 : 50) + 50 * Number(m[2]) / Number(m[3]);
        card.seen = Math.max(card.seen || 0, bar.value);
      }
    }
  }
  card.controls.append(
    row(button('inspect', () => paths.every(Boolean) ? inspect()
                                                    : (card.result.textContent = 'choose the four files first'))),
    board.simulated ? el('div', {class: 'sim'}, row(field('rehearse a failing write at', failWrite))) : null,
    row(button('flash', async () => {
      if (!paths.every(Boolean)) return (card.result.textContent = 'choose the four files first');
      if (!confirm(`Replace the firmware of the four modules of board ${b}?`)) return;
      bar.value = 0;
      stage.textContent = 'starting';
      const rehearse = failWrite.value.trim() ? ['--sim-fail-write', failWrite.value.trim()] : [];
      const a = await run(card, ['firmware', 'flash', '-b', b, '-y', '--progress', ...rehearse, ...paths], progress);
      if (a.exit === 0) bar.value = 100;
      stage.textContent = a.exit === 0 ? 'done' : 'failed';
    })),
    bar, stage);
  return card;
}

// On a simulated board another function can be fitted into a module position.
function fitCard(board, functions) {
  const b = String(board.index);
  const card = makeCard(`${b}/fit`, 'fit a module', 'simulated board');
  const position = select(['0', '1', '2', '3'], '3');
  const fn = select(functions.map(f => f.name), 'etm');
  card.controls.append(row(field('position', position), field('function', fn),
    button('fit', () => run(card, ['set-module', '-b', b, '-m', position.value, fn.value]))));
  return card;
}

// ---- the boards ---------------------------------------------------------------------------------

function drawBoards(description) {
  if (JSON.stringify(description) === described) return;
  described = JSON.stringify(description);
  cards.clear();
  charts.forEach(c => c.plot.destroy());
  charts.clear();
  document.getElementById('library').textContent = 'library ' + description.library_version +
    `, each value read at most ${description.max_reads_per_second} times a second`;
  const root = document.getElementById('boards');
  if (!description.boards.length) {
    root.replaceChildren(el('p', {class: 'error'}, 'No board found. mfbctl panel --sim-boards 2 serves two simulated boards.'));
    return;
  }
  root.replaceChildren(...description.boards.map(board => {
    const identity = el('div', {class: 'identity'},
      (board.information || []).map(i => el('span', {}, el('b', {}, i.label + ' '), i.value)),
      el('span', {}, el('b', {}, 'hardware type '), board.hardware_type || '?'),
      el('span', {}, el('b', {}, 'driver '), board.driver_version || '?'));
    const modules = board.modules.map(m => moduleCard(board, m).root);
    const extra = [portsCard(board), eepromCard(board), firmwareCard(board)];
    if (board.simulated) extra.push(fitCard(board, description.functions));
    return el('section', {class: 'board', id: 'board-' + board.index},
              el('h2', {}, `board ${board.index}: ${board.identifier || '?'}`,
                 board.simulated ? el('span', {class: 'muted'}, ' (simulated)') : null),
              identity, el('div', {class: 'cards'}, modules, extra.map(c => c.root)));
  }));
}

// ---- the stream ---------------------------------------------------------------------------------

function showFrame(frame) {
  for (const [key, value] of Object.entries(frame.values)) {
    const card = cards.get(key);
    if (card) {
      card.error.textContent = value.error || '';
      if (!value.error) card.update(value, frame.t);
    }
  }
  const irq = frame.interrupts;
  const log = document.getElementById('irq-log');
  for (const r of irq.records) {
    const values = r.fields.length ? r.fields.map(f => `${f.name} ${f.word || f.value}`).join('  ')
                                   : `word 1 ${r.word1} word 2 ${r.word2} values ${r.values.join(' ')}`;
    log.prepend(el('tr', {class: 'irq'}, el('td', {}, r.t.toFixed(6)), el('td', {}, r.board), el('td', {}, r.module),
                   el('td', {}, r.function), el('td', {}, r.source), el('td', {}, values)));
  }
  while (log.children.length > 200) log.lastChild.remove();
  irqHistory.push([frame.t, irq.total]);
  while (irqHistory.length > 2 && irqHistory[0][0] < frame.t - 1) irqHistory.shift();
  const [t0, n0] = irqHistory[0];
  const rate = frame.t > t0 ? (irq.total - n0) / (frame.t - t0) : 0;
  document.getElementById('irq-rate').textContent = rate.toFixed(1) + ' /s';
  document.getElementById('irq-total').textContent =
    `${irq.total} in all` + (irq.dropped ? `, ${irq.dropped} not shown (too many at once)` : '');
}

function connect() {
  const state = document.getElementById('connection');
  const events = new EventSource('/api/stream');
  events.onopen = () => { state.textContent = 'live'; state.className = 'state live'; };
  events.onerror = () => { state.textContent = 'reconnecting'; state.className = 'state lost'; };
  events.addEventListener('boards', e => drawBoards(JSON.parse(e.data)));
  events.addEventListener('frame', e => showFrame(JSON.parse(e.data)));
  events.addEventListener('output', e => {
    const o = JSON.parse(e.data);
    const handler = runs.get(o.id);
    if (handler) handler(o.stream, o.text);
  });
}

// For tests and the curious: what a chart holds.
window.mfbPanel = {
  chartPoints: key => { const c = charts.get(key); return c ? c.data[1].slice() : null; },
  flashProgressSeen: board => (cards.get(`${board}/firmware`) || {}).seen || 0,
};

connect();
