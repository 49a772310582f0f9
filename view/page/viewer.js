// The page of diagraw-view: OpenSeadragon shows the views' Deep Zoom
// pyramids; the panels show what the server's /api/ answers, which are the
// probe's own JSON. The page computes no value of its own: every number it
// shows is one that the server sent.
'use strict';

(function () {
  performance.mark('diagraw-page-start');

  const VIEWS = ['field0', 'field1', 'mosaic', 'image', 'upright'];
  const COLOURS = ['red', 'green', 'blue'];
  const AREA_VIEWS = ['mosaic', 'image'];

  // What tests and scripts may read: the last answers and the timings.
  const state = {
    view: null,
    sizes: {},
    marks: false,
    lastCell: null,
    lastClick: null,
    lastArea: null,
    cellTimings: [],
    firstTile: null,
    defects: null,         // the answer of /api/defects
    defectsShown: true,
    lastDefect: null,      // the defect under the pointer, as served
    defectsDrawn: 0,       // rings drawn in the last frame, and its time
    defectRing: 0,
    defectDrawTimes: [],
  };
  window.diagrawState = state;

  // The token came in the address and is a cookie now: the address shown
  // and bookmarked keeps only the fragment.
  if (location.search) {
    history.replaceState(null, '', location.pathname + location.hash);
  }

  const $ = (id) => document.getElementById(id);

  function element(tag, text, attributes) {
    const made = document.createElement(tag);
    if (text !== undefined && text !== null) made.textContent = String(text);
    for (const [key, value] of Object.entries(attributes || {})) made.setAttribute(key, value);
    return made;
  }

  function rowsOf(table, rows) {
    const body = table.tBodies[0] || table.appendChild(document.createElement('tbody'));
    body.replaceChildren(...rows.map(([key, value, id]) => {
      const row = element('tr');
      row.append(element('td', key), element('td', value, id ? { id } : {}));
      return row;
    }));
  }

  function grid(header, rows, className) {
    const table = element('table', null, { class: className || 'grid' });
    const head = element('tr');
    header.forEach((text) => head.append(element('th', text)));
    table.append(head);
    rows.forEach((cells) => {
      const row = element('tr');
      cells.forEach((text) => row.append(element('td', text)));
      table.append(row);
    });
    return table;
  }

  async function getJson(url) {
    const response = await fetch(url, { credentials: 'same-origin' });
    const body = await response.json();
    if (!response.ok) throw new Error(body.error || ('HTTP ' + response.status));
    const timing = /render;dur=([0-9.]+)/.exec(response.headers.get('Server-Timing') || '');
    return { body, serverMs: timing ? Number(timing[1]) : null };
  }

  const viewer = OpenSeadragon({
    id: 'viewer',
    showNavigationControl: false,
    drawer: 'canvas',
    imageSmoothingEnabled: false,
    maxZoomPixelRatio: 48,
    visibilityRatio: 0.2,
    animationTime: 0.4,
    gestureSettingsMouse: { clickToZoom: false, dblClickToZoom: true },
    gestureSettingsTouch: { clickToZoom: false },
  });
  window.diagrawViewer = viewer;

  viewer.addOnceHandler('tile-loaded', () => {
    // Drawn on the next frames.
    requestAnimationFrame(() => requestAnimationFrame(() => {
      performance.mark('diagraw-first-tile');
      state.firstTile = performance.now();
    }));
  });

  function picture() {
    return viewer.world.getItemAt(0);
  }

  // Where the viewer looks: the centre in pixels of the view, and screen
  // pixels per pixel of the view.
  function place() {
    const item = picture();
    const centre = item.viewportToImageCoordinates(viewer.viewport.getCenter(true));
    return { x: centre.x, y: centre.y, zoom: item.viewportToImageZoom(viewer.viewport.getZoom(true)) };
  }

  function goTo(where) {
    const item = picture();
    viewer.viewport.zoomTo(item.imageToViewportZoom(where.zoom), null, true);
    viewer.viewport.panTo(item.imageToViewportCoordinates(where.x, where.y), true);
  }

  // The fragment keeps the view, the place and the zoom: a link shows the
  // same again.
  let hashTimer = null;
  function keepInFragment() {
    clearTimeout(hashTimer);
    hashTimer = setTimeout(() => {
      if (!picture()) return;
      const where = place();
      const hash = '#view=' + state.view + '&x=' + where.x.toFixed(1) + '&y=' + where.y.toFixed(1) +
        '&zoom=' + where.zoom.toPrecision(4);
      history.replaceState(null, '', location.pathname + hash);
    }, 150);
  }

  function fromFragment() {
    const values = new URLSearchParams(location.hash.slice(1));
    const view = values.get('view');
    const where = { x: Number(values.get('x')), y: Number(values.get('y')), zoom: Number(values.get('zoom')) };
    const valid = VIEWS.includes(view) && [where.x, where.y, where.zoom].every(Number.isFinite) && where.zoom > 0;
    return valid ? { view, where } : { view: 'image', where: null };
  }

  function sources(view) {
    const list = [{ tileSource: '/dzi/' + view + '.dzi' }];
    if (state.marks) list.push({ tileSource: '/marks/' + view + '.dzi' });
    return list;
  }

  function openView(view, where) {
    state.view = view;
    clearSelection();
    document.querySelectorAll('#views button').forEach((button) => {
      button.classList.toggle('current', button.dataset.view === view);
    });
    viewer.addOnceHandler('open', () => {
      if (where) goTo(where);
      keepInFragment();
    });
    viewer.open(sources(view));
  }

  // Switching keeps the cell under the centre where it lies in both views
  // (the server says where: "places"), and the zoom.
  async function switchView(view) {
    if (view === state.view || !picture() || !state.sizes[view]) return;
    const here = place();
    const size = state.sizes[state.view];
    const x = Math.min(Math.max(Math.floor(here.x), 0), size.width - 1);
    const y = Math.min(Math.max(Math.floor(here.y), 0), size.height - 1);
    let where = null;
    try {
      const answer = (await getJson('/api/cell?view=' + state.view + '&x=' + x + '&y=' + y)).body;
      const there = answer.places && answer.places[view];
      if (there) where = { x: there[0] + (here.x - x), y: there[1] + (here.y - y), zoom: here.zoom };
    } catch (failure) {
      // The proportional place below.
    }
    if (!where) {
      const next = state.sizes[view];
      where = { x: here.x / size.width * next.width, y: here.y / size.height * next.height, zoom: here.zoom };
    }
    openView(view, where);
  }

  function setMarks(on) {
    state.marks = on;
    $('marks').checked = on;
    if (!picture()) return;
    if (on && viewer.world.getItemCount() === 1) {
      viewer.addTiledImage({ tileSource: '/marks/' + state.view + '.dzi' });
    } else if (!on && viewer.world.getItemCount() > 1) {
      viewer.world.removeItem(viewer.world.getItemAt(1));
    }
  }

  // --- the defects of --defects: a ring of fixed size on the screen around
  // each defect's pixel, in the views the server gives a place for ---

  const DEFECT_KINDS = ['hot', 'dead', 'stuck'];
  const RING_RADIUS = 6;   // CSS pixels, or more where a pixel is larger
  const defectCanvas = element('canvas', null, { id: 'defect-canvas' });
  viewer.canvas.append(defectCanvas);
  // For each view, for each kind: the places' pixel centres and the defects'
  // indices, so that a frame runs through typed arrays alone.
  let defectPlaces = {};
  let ringColours = [];
  // What the rings on the canvas were drawn for: a frame that changes none
  // of it (a tile coming in) leaves them.
  let drawnFor = '';

  function keepDefects(answer) {
    state.defects = answer;
    drawnFor = '';
    defectPlaces = {};
    for (const view of VIEWS) {
      defectPlaces[view] = DEFECT_KINDS.map((kind) => {
        const chosen = [];
        answer.defects.forEach((defect, index) => {
          if (defect.kind === kind && defect.places[view]) chosen.push(index);
        });
        const places = { x: new Float64Array(chosen.length), y: new Float64Array(chosen.length),
          index: Int32Array.from(chosen) };
        chosen.forEach((index, i) => {
          places.x[i] = answer.defects[index].places[view][0] + 0.5;
          places.y[i] = answer.defects[index].places[view][1] + 0.5;
        });
        return places;
      });
    }
    if (!answer.file) return;
    ringColours = DEFECT_KINDS.map((kind) => getComputedStyle(document.querySelector(
      '.defect-key[data-kind="' + kind + '"]')).getPropertyValue('--ring').trim());
    DEFECT_KINDS.forEach((kind) => { $('defects-' + kind).textContent = answer.counts[kind]; });
    $('defect').title = answer.file;
    $('defect').hidden = false;
    drawDefects();
  }

  // Screen pixels per pixel of the view, and where its pixel (0, 0) lies on
  // the viewer's element.
  function screenTransform() {
    const item = picture();
    const origin = item.imageToViewerElementCoordinates(new OpenSeadragon.Point(0, 0));
    const unit = item.imageToViewerElementCoordinates(new OpenSeadragon.Point(1, 0)).x - origin.x;
    return { x: origin.x, y: origin.y, unit, radius: Math.max(RING_RADIUS, 0.75 * unit) };
  }

  function drawDefects() {
    const start = performance.now();
    const ratio = window.devicePixelRatio || 1;
    const width = defectCanvas.clientWidth;
    const height = defectCanvas.clientHeight;
    const lists = defectPlaces[state.view];
    const shown = Boolean(state.defectsShown && lists && picture());
    const screen = shown ? screenTransform() : null;
    const key = [state.view, shown, width, height, ratio, screen && [screen.x, screen.y, screen.unit]].join();
    if (key === drawnFor) return;
    drawnFor = key;
    if (defectCanvas.width !== Math.round(width * ratio) || defectCanvas.height !== Math.round(height * ratio)) {
      defectCanvas.width = Math.round(width * ratio);
      defectCanvas.height = Math.round(height * ratio);
    }
    const context = defectCanvas.getContext('2d');
    context.setTransform(ratio, 0, 0, ratio, 0, 0);
    context.clearRect(0, 0, width, height);
    state.defectsDrawn = 0;
    if (!shown) return;
    const r = screen.radius;
    state.defectRing = r;
    lists.forEach((places, kind) => {
      context.beginPath();
      for (let i = 0; i < places.x.length; ++i) {
        const x = screen.x + places.x[i] * screen.unit;
        const y = screen.y + places.y[i] * screen.unit;
        if (x < -r || y < -r || x > width + r || y > height + r) continue;
        context.moveTo(x + r, y);
        context.arc(x, y, r, 0, 2 * Math.PI);
        state.defectsDrawn += 1;
      }
      // A dark edge under the colour, seen on any picture.
      context.lineWidth = 4;
      context.strokeStyle = 'rgba(0, 0, 0, 0.7)';
      context.stroke();
      context.lineWidth = 2;
      context.strokeStyle = ringColours[kind];
      context.stroke();
    });
    state.defectDrawTimes.push(performance.now() - start);
  }

  // The defect whose ring holds the pointer, the nearest if several do.
  function defectAt(position) {
    const lists = defectPlaces[state.view];
    if (!state.defectsShown || !lists || !picture()) return null;
    const screen = screenTransform();
    let best = null;
    let bestDistance = (screen.radius + 2) * (screen.radius + 2);
    for (const places of lists) {
      for (let i = 0; i < places.x.length; ++i) {
        const dx = screen.x + places.x[i] * screen.unit - position.x;
        const dy = screen.y + places.y[i] * screen.unit - position.y;
        const distance = dx * dx + dy * dy;
        if (distance <= bestDistance) {
          bestDistance = distance;
          best = places.index[i];
        }
      }
    }
    return best === null ? null : state.defects.defects[best];
  }

  function showDefect(defect) {
    $('defect').querySelector('.empty').hidden = defect !== null;
    if (!defect) {
      rowsOf($('defect-table'), []);
      return;
    }
    state.lastDefect = defect;
    rowsOf($('defect-table'), [
      ['kind', defect.kind, 'defect-kind'],
      ['field', defect.field, 'defect-field'],
      ['row', defect.row, 'defect-row'],
      ['column', defect.column, 'defect-column'],
      ['cell', 'row ' + defect.cell_row + ', column ' + defect.cell_column, 'defect-cell'],
      ['pixel', defect.x === null ? 'none: the cell shows in no pixel of the image' :
        '(' + defect.x + ', ' + defect.y + ')', 'defect-pixel'],
      ['mean', defect.mean + ' DN', 'defect-mean'],
      ['excess', defect.excess === null ? 'none: the spread is 0' : defect.excess + ' spreads', 'defect-excess'],
    ]);
  }

  function setDefectsShown(on) {
    state.defectsShown = on;
    $('defects').checked = on;
    drawDefects();
  }

  viewer.addHandler('update-viewport', drawDefects);
  viewer.addHandler('resize', drawDefects);

  // --- the pixel under the pointer, and the one clicked ---

  function pixelAt(position) {
    const item = picture();
    if (!item) return null;
    const point = item.viewerElementToImageCoordinates(position);
    const size = state.sizes[state.view];
    if (!size) return null;
    const x = Math.floor(point.x);
    const y = Math.floor(point.y);
    return x >= 0 && y >= 0 && x < size.width && y < size.height ? { x, y } : null;
  }

  function showHover(answer) {
    const cell = answer.cell;
    const p = answer.pixel;
    const rows = [
      ['view pixel', answer.view + ' (' + answer.x + ', ' + answer.y + ')', 'hover-pixel'],
      ['bytes', 'red ' + p.red + ', green ' + p.green + ', blue ' + p.blue, 'hover-bytes'],
    ];
    if (!cell) {
      rows.push(['cell', 'none: ' + answer.reason, 'hover-cell']);
    } else if (cell.row === undefined) {
      rows.push(['cell', 'none: image pixel (' + cell.x + ', ' + cell.y + ') shows no cell', 'hover-cell']);
    } else {
      rows.push(
        ['cell', 'row ' + cell.row + ', column ' + cell.column, 'hover-cell'],
        ['site class', cell.site_class, 'hover-site-class'],
        ['colour', cell.colour, 'hover-colour'],
        ['sample', cell.field === null ? 'none' :
          'field ' + cell.field + ', row ' + cell.field_row + ', column ' + cell.field_column, 'hover-sample'],
        ['raw', cell.raw, 'hover-raw'],
        ['white-balanced', cell.white_balanced, 'hover-white-balanced'],
        ['image pixel', '(' + cell.x + ', ' + cell.y + ')', 'hover-image-pixel'],
        ['image bytes', 'red ' + cell.pixel.red + ', green ' + cell.pixel.green + ', blue ' + cell.pixel.blue,
          'hover-image-bytes']);
      if (!cell.demosaiced) rows.push(['not demosaiced', cell.reason, 'hover-reason']);
    }
    rowsOf($('hover-table'), rows);
  }

  function showExplanation(answer) {
    const body = $('explain-body');
    $('explain').querySelector('.empty').hidden = true;
    const cell = answer.cell;
    const parts = [element('p', answer.view + ' pixel (' + answer.x + ', ' + answer.y + ')')];
    if (!cell || cell.row === undefined) {
      parts.push(element('p', cell ? 'Image pixel (' + cell.x + ', ' + cell.y + ') shows no cell.' :
        'No cell: ' + answer.reason, { class: 'note' }));
    } else {
      parts.push(element('p', 'cell row ' + cell.row + ', column ' + cell.column + ', ' + cell.site_class + ', ' +
        cell.colour + '; raw ' + cell.raw + ', white-balanced ' + cell.white_balanced));
      if (!cell.demosaiced) {
        parts.push(element('p', 'Not demosaiced: ' + cell.reason, { class: 'note' }));
      } else {
        parts.push(element('p', 'neighbourhood after white balance (north up, mosaic columns ' +
          (cell.column - 2) + ' to ' + (cell.column + 2) + ')'));
        parts.push(grid(['row', '−2', '−1', '0', '+1', '+2'],
          cell.neighbourhood.map((row, i) => [String(cell.row - 2 + i), ...row.map(String)])));
        const directions = Object.keys(cell.gradients);
        parts.push(grid(['direction', ...directions], [
          ['gradient', ...directions.map((d) => String(cell.gradients[d]))],
          ['usable', ...directions.map((d) => cell.usable.includes(d) ? 'yes' : 'no')],
        ]));
        parts.push(grid(['colour', ...COLOURS], [['estimate', ...COLOURS.map((c) => String(cell.estimates[c]))]]));
        parts.push(element('p', 'threshold ' + cell.threshold + ', a direction is usable below it; count ' +
          cell.count));
      }
      parts.push(element('p', 'image pixel (' + cell.x + ', ' + cell.y + '): red ' + cell.pixel.red + ', green ' +
        cell.pixel.green + ', blue ' + cell.pixel.blue));
    }
    body.replaceChildren(...parts);
  }

  let hoverWanted = null;
  let hoverBusy = false;
  async function hover() {
    if (hoverBusy || !hoverWanted) return;
    const wanted = hoverWanted;
    hoverWanted = null;
    hoverBusy = true;
    try {
      const answer = await getJson('/api/cell?view=' + wanted.view + '&x=' + wanted.x + '&y=' + wanted.y);
      state.cellTimings.push(answer.serverMs);
      if (wanted.view === state.view) {
        state.lastCell = answer.body;
        showHover(answer.body);
      }
    } catch (failure) {
      rowsOf($('hover-table'), [['failed', failure.message]]);
    } finally {
      hoverBusy = false;
      hover();
    }
  }

  // --- a dragged area ---

  let selection = null;  // {start, element}
  function clearSelection() {
    if (selection && selection.element) viewer.removeOverlay(selection.element);
    selection = null;
  }

  // One column for each field and colour, one row for each figure.
  function statsTable(fields) {
    const columns = fields.flatMap((field) => COLOURS.map((colour) => [field.field, colour]));
    const figures = ['count', 'min', 'max', 'mean', 'stddev', 'zeros', 'clipped', 'p1', 'p50', 'p99'];
    const shown = (value, figure) => (figure === 'mean' || figure === 'stddev' ? value.toFixed(3) : String(value));
    return grid(['', ...columns.map(([field, colour]) => 'f' + field + ' ' + colour)],
      figures.map((figure) => [figure, ...columns.map(([field, colour]) =>
        shown(fields[field].colours[colour][figure], figure))]));
  }

  function drawHistogram(canvas, field) {
    canvas.hidden = false;
    const context = canvas.getContext('2d');
    const { width, height } = canvas;
    context.clearRect(0, 0, width, height);
    const bins = field.colours.red.histogram.length;
    const most = Math.max(1, ...COLOURS.flatMap((c) => field.colours[c].histogram));
    const strokes = { red: '#ff4040', green: '#40e040', blue: '#4060ff' };
    // Where two colours' lines meet, both show (red and blue as magenta).
    context.globalCompositeOperation = 'lighter';
    for (const colour of COLOURS) {
      context.strokeStyle = strokes[colour];
      context.beginPath();
      field.colours[colour].histogram.forEach((count, bin) => {
        const x0 = 4 + bin * (width - 8) / bins;
        const x1 = 4 + (bin + 1) * (width - 8) / bins;
        const y = height - 14 - count / most * (height - 28);
        if (bin === 0) context.moveTo(x0, y); else context.lineTo(x0, y);
        context.lineTo(x1, y);
      });
      context.stroke();
    }
    context.globalCompositeOperation = 'source-over';
    context.fillStyle = '#9aa0aa';
    context.font = '11px sans-serif';
    context.fillText('field ' + field.field + ': samples per 64 values, 0 to 4095', 6, 12);
    context.fillText('0', 4, height - 2);
    context.fillText('4095', width - 28, height - 2);
  }

  async function measure(rectangle) {
    const body = $('area-body');
    $('area').querySelector('.empty').hidden = true;
    try {
      const answer = (await getJson('/api/stats?x=' + rectangle.x + '&y=' + rectangle.y + '&w=' + rectangle.width +
        '&h=' + rectangle.height)).body;
      state.lastArea = answer;
      const area = answer.area;
      body.replaceChildren(
        element('p', area.width + ' x ' + area.height + ' pixels at (' + area.x + ', ' + area.y + ') of the ' +
          state.view + ' view: ' + area.cells + ' cells, ' + area.samples[0] + ' with a field 0 sample, ' +
          area.samples[1] + ' with a field 1 sample', { id: 'area-summary' }),
        statsTable(answer.fields));
      answer.fields.forEach((field, i) => drawHistogram($('histogram-' + i), field));
    } catch (failure) {
      body.replaceChildren(element('p', failure.message, { class: 'note' }));
    }
  }

  function rectangleBetween(a, b) {
    const size = state.sizes[state.view];
    const clampX = (v) => Math.min(Math.max(v, 0), size.width);
    const clampY = (v) => Math.min(Math.max(v, 0), size.height);
    const x0 = clampX(Math.floor(Math.min(a.x, b.x)));
    const y0 = clampY(Math.floor(Math.min(a.y, b.y)));
    const x1 = clampX(Math.ceil(Math.max(a.x, b.x)));
    const y1 = clampY(Math.ceil(Math.max(a.y, b.y)));
    return { x: x0, y: y0, width: x1 - x0, height: y1 - y0 };
  }

  function showSelection(rectangle) {
    const item = picture();
    const location = item.imageToViewportRectangle(rectangle.x, rectangle.y, rectangle.width, rectangle.height);
    if (!selection.element) {
      selection.element = element('div', null, { class: 'selection' });
      viewer.addOverlay(selection.element, location);
    } else {
      viewer.updateOverlay(selection.element, location);
    }
  }

  // Shift as the keys last left it, besides the pointer event's own flag,
  // which some pointer devices and drivers leave unset.
  let shiftHeld = false;
  document.addEventListener('keydown', (event) => { if (event.key === 'Shift') shiftHeld = true; });
  document.addEventListener('keyup', (event) => { if (event.key === 'Shift') shiftHeld = false; });
  window.addEventListener('blur', () => { shiftHeld = false; });

  viewer.addHandler('canvas-press', (event) => {
    const item = picture();
    if (!item || !(event.originalEvent.shiftKey || shiftHeld)) return;
    clearSelection();
    if (!AREA_VIEWS.includes(state.view)) {
      $('area').querySelector('.empty').hidden = false;
      $('area-body').replaceChildren(element('p',
        'Areas are measured in image pixels, as stats --area counts them: drag in the image or mosaic view.',
        { class: 'note' }));
      return;
    }
    selection = { start: item.viewerElementToImageCoordinates(event.position), element: null };
  });
  viewer.addHandler('canvas-drag', (event) => {
    if (!selection) return;
    event.preventDefaultAction = true;
    showSelection(rectangleBetween(selection.start, picture().viewerElementToImageCoordinates(event.position)));
  });
  viewer.addHandler('canvas-release', (event) => {
    if (!selection || selection.done) return;
    selection.done = true;
    const rectangle = rectangleBetween(selection.start, picture().viewerElementToImageCoordinates(event.position));
    if (rectangle.width > 0 && rectangle.height > 0) {
      showSelection(rectangle);
      measure(rectangle);
    }
  });
  viewer.addHandler('canvas-click', async (event) => {
    if (!event.quick || event.originalEvent.shiftKey || shiftHeld) return;
    const pixel = pixelAt(event.position);
    if (!pixel) return;
    try {
      const answer = (await getJson('/api/cell?view=' + state.view + '&x=' + pixel.x + '&y=' + pixel.y)).body;
      state.lastClick = answer;
      showExplanation(answer);
    } catch (failure) {
      $('explain-body').replaceChildren(element('p', failure.message, { class: 'note' }));
    }
  });

  // An outline round the pixel under the pointer.
  let outline = null;
  function markPixel(pixel) {
    const location = picture().imageToViewportRectangle(pixel.x, pixel.y, 1, 1);
    if (!outline || !viewer.getOverlayById(outline)) {
      outline = element('div', null, { class: 'pointer' });
      viewer.addOverlay(outline, location);
    } else {
      viewer.updateOverlay(outline, location);
    }
  }

  new OpenSeadragon.MouseTracker({
    element: viewer.canvas,
    moveHandler: (event) => {
      if (state.defects && state.defects.file) showDefect(defectAt(event.position));
      const pixel = pixelAt(event.position);
      if (!pixel) return;
      markPixel(pixel);
      hoverWanted = { view: state.view, x: pixel.x, y: pixel.y };
      hover();
    },
  });

  // --- keys: 1 to 5 the views, + and - zoom, the arrows pan, m the marks,
  // d the defects ---

  viewer.addHandler('canvas-key', (event) => { event.preventDefaultAction = true; });
  document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.metaKey || event.altKey || !picture()) return;
    const viewport = viewer.viewport;
    const bounds = viewport.getBounds(true);
    const pans = {
      ArrowLeft: [-bounds.width / 8, 0], ArrowRight: [bounds.width / 8, 0],
      ArrowUp: [0, -bounds.height / 8], ArrowDown: [0, bounds.height / 8],
    };
    if (event.key >= '1' && event.key <= '5') {
      switchView(VIEWS[Number(event.key) - 1]);
    } else if (event.key === '+' || event.key === '=') {
      viewport.zoomBy(1.5);
    } else if (event.key === '-' || event.key === '_') {
      viewport.zoomBy(1 / 1.5);
    } else if (pans[event.key]) {
      viewport.panBy(new OpenSeadragon.Point(...pans[event.key]));
    } else if (event.key === 'm') {
      setMarks(!state.marks);
    } else if (event.key === 'd' && state.defects && state.defects.file) {
      setDefectsShown(!state.defectsShown);
    } else {
      return;
    }
    viewport.applyConstraints();
    event.preventDefault();
  });
  document.querySelectorAll('#views button').forEach((button) => {
    button.addEventListener('click', () => switchView(button.dataset.view));
  });
  $('marks').addEventListener('change', (event) => setMarks(event.target.checked));
  $('defects').addEventListener('change', (event) => setDefectsShown(event.target.checked));
  viewer.addHandler('animation-finish', keepInFragment);
  window.addEventListener('hashchange', () => {
    const wanted = fromFragment();
    if (!picture() || !wanted.where) return;
    if (wanted.view !== state.view) openView(wanted.view, wanted.where); else goTo(wanted.where);
  });

  // --- the file ---

  // The picture first: the view opens at once, while the views' sizes come;
  // the file's panel after the first tile.
  async function start() {
    const wanted = fromFragment();
    const firstTile = new Promise((resolve) => viewer.addOnceHandler('tile-loaded', resolve));
    const views = getJson('/api/views');
    const defects = getJson('/api/defects');
    openView(wanted.view, wanted.where);
    const answer = (await views).body;
    answer.views.forEach((view) => { state.sizes[view.name] = view; });
    $('file-name').textContent = answer.file;
    document.title = 'diagraw-view: ' + answer.file;
    keepDefects((await defects).body);
    await firstTile;
    showFile();
  }

  async function showFile() {
    try {
      const info = (await getJson('/api/info')).body;
      const rows = [['size', info.size + ' bytes'], ['header bytes', info.header_bytes === null ? 'none' :
        String(info.header_bytes)], ['signature', info.signature]];
      if (info.raf && info.raf.complete) {
        rows.push(['camera model', info.raf.camera_model], ['camera ID', info.raf.camera_id],
          ['format version', info.raf.format_version],
          ['tail in raw block', info.raf.tail_in_raw_block ? 'yes' : 'no']);
      }
      rowsOf($('info-table'), rows);
    } catch (failure) {
      rowsOf($('info-table'), [['info', failure.message]]);
    }
    const stats = (await getJson('/api/stats')).body;
    $('stats-body').replaceChildren(element('p', 'whole frame'), statsTable(stats.fields));
  }
  start().catch((failure) => {
    document.body.prepend(element('p', 'diagraw-view: ' + failure.message, { class: 'note' }));
  });
})();
