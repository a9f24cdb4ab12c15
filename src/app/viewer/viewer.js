// The replay viewer of a rollgrasp run page. The page carries the run as JSON
// (#rg-data: the trajectory table, the posed geometry of every stored row, the
// hand and the work) and three.js as text (#rg-three, #rg-orbit); both modules are
// loaded from blob URLs, so the page needs no network and no server. The scene is
// in the simulator's length units and hand frame (z up), drawn with the window's
// colours and its fixed-function lighting model: a lit colour is the material's
// ambient colour times the ambient light plus 0.8 grey times the diffuse light.
//
// For scripts (the tests, the load benchmark) the viewer offers window.rgViewer:
// ready (a promise, resolved after the first frame), rows, row, setRow(r) (a
// promise, resolved once row r is drawn), values(r) (the row's table values by
// column name), probe() (the drawn row's contact markers and work centre in world
// coordinates and in page pixels) and loadMs (page start to first frame).
const $ = (id) => document.getElementById(id);

let readyResolve, readyReject;
const api = {
  ready: new Promise((res, rej) => { readyResolve = res; readyReject = rej; }),
  rows: 0,
  row: -1,
  loadMs: NaN,
  error: null,
};
window.rgViewer = api;

function fail(e) {
  const text = 'The replay viewer could not start: ' + (e && e.stack ? e.stack : e);
  api.error = String(e);
  $('rg-error').textContent = text;
  document.documentElement.dataset.rgError = api.error;
  readyReject(e);
}

function moduleUrl(text) {
  return URL.createObjectURL(new Blob([text], { type: 'text/javascript' }));
}

try {
  const threeUrl = moduleUrl($('rg-three').textContent);
  const orbitText = $('rg-orbit').textContent.replace(/from\s*(['"])three\1/g, `from '${threeUrl}'`);
  const [THREE, { OrbitControls }] = await Promise.all([import(threeUrl), import(moduleUrl(orbitText))]);
  performance.mark('rg-modules');
  const canvas = document.createElement('canvas');
  const context = canvas.getContext('webgl2', { antialias: true, preserveDrawingBuffer: true });
  performance.mark('rg-context');
  start(THREE, OrbitControls, JSON.parse($('rg-data').textContent), canvas, context);
} catch (e) {
  fail(e);
}

function start(THREE, OrbitControls, data, canvas, context) {
  $('rg-licence-text').textContent = $('rg-licence').textContent;
  // colours are used as given, as the window's GL does
  THREE.ColorManagement.enabled = false;

  const rows = data.table.length;
  const col = Object.fromEntries(data.columns.map((name, i) => [name, i]));
  const nF = data.hand.fingers, nJ = data.hand.joints;
  api.rows = rows;
  api.values = (r) => Object.fromEntries(data.columns.map((name, i) => [name, data.table[r][i]]));

  $('rg-hand').textContent = data.hand.label;
  $('rg-work').textContent = data.work.label;

  // --- renderer, camera, light -------------------------------------------------
  const view = $('rg-view');
  const renderer = new THREE.WebGLRenderer({ canvas, context, antialias: true, preserveDrawingBuffer: true });
  renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  renderer.setClearColor(0xffffff, 1);
  view.appendChild(renderer.domElement);

  const scene = new THREE.Scene();
  const cam = data.camera;
  const camera = new THREE.PerspectiveCamera(cam.fov, 1, 5, 20000);
  camera.up.set(...cam.up);
  camera.position.set(...cam.eye);
  // the window's light: white, at (8, 0, 8) drawing units before the view turns,
  // not fading with distance (pi: three.js divides the diffuse colour by it)
  const light = new THREE.PointLight(0xffffff, Math.PI, 0, 0);
  light.position.set(400, 0, 400);
  scene.add(light, camera);

  // the hand frame as the window shows it: its view turns (degrees about x, then y,
  // then z) and shift (length units) of mode I, applied before the camera
  const root = new THREE.Group();
  {
    const [rx, ry, rz] = cam.turn.map((d) => (d * Math.PI) / 180);
    const rad = (m, axis, a) => m.multiply(new THREE.Matrix4()[axis](a));
    const m = new THREE.Matrix4();
    rad(m, 'makeRotationX', rx);
    rad(m, 'makeRotationY', ry);
    rad(m, 'makeRotationZ', rz);
    m.multiply(new THREE.Matrix4().makeTranslation(...cam.shift));
    root.matrixAutoUpdate = false;
    root.matrix.copy(m);
  }
  scene.add(root);

  const controls = new OrbitControls(camera, renderer.domElement);
  controls.target.set(...cam.target);
  controls.update();

  // --- materials: the window's colours -----------------------------------------
  // lit: 0.8 grey diffuse; ambient colour times 0.7 (the light's 0.5 and GL's
  // global 0.2) as the emissive part
  const lit = (r, g, b, opacity = 1) => new THREE.MeshLambertMaterial({
    color: new THREE.Color(0.8, 0.8, 0.8),
    emissive: new THREE.Color(0.7 * r, 0.7 * g, 0.7 * b),
    transparent: opacity < 1, opacity, depthWrite: opacity >= 1,
  });
  const flat = (r, g, b, over = false) => new THREE.MeshBasicMaterial({
    color: new THREE.Color(r, g, b), depthTest: !over, depthWrite: !over,
  });
  const line = (r, g, b, over = false) => new THREE.LineBasicMaterial({
    color: new THREE.Color(r, g, b), depthTest: !over, depthWrite: !over,
  });
  const dots = (r, g, b) => new THREE.PointsMaterial({
    color: new THREE.Color(r, g, b), size: 4, sizeAttenuation: false, depthTest: false, depthWrite: false,
  });
  const M = {
    hand: lit(0, 0, 1),            // palm and joint bodies
    link: lit(0, 0.5, 1),          // links and fingertip balls
    work: lit(0.5, 0, 0),          // the cylinder
    sphere: lit(1, 0, 0, 0.25),    // the sphere's fill (its circles carry its shape)
    black: line(0, 0, 0),
    blackSolid: flat(0, 0, 0),
    marker: flat(1, 1, 0, true),   // contact points, over the bodies that hide them
    markerLine: line(1, 1, 0, true),
    workTrace: line(1, 0, 1, true),
    linkTrace: line(0, 0.7, 0, true),
    workDots: dots(1, 0, 1),
    linkDots: dots(0, 0.7, 0),
  };

  // --- shapes ------------------------------------------------------------------
  const unitCylinder = new THREE.CylinderGeometry(1, 1, 1, 50, 1, false);
  const unitCone = new THREE.ConeGeometry(1, 1, 50, 1, false);
  const unitBall = new THREE.SphereGeometry(1, 20, 20);
  const yAxis = new THREE.Vector3(0, 1, 0);
  const v3 = (a, i = 0) => new THREE.Vector3(a[i], a[i + 1], a[i + 2]);

  // a unit shape along y (centred) stretched from p0 to p1 with radius r
  function place(mesh, p0, p1, r) {
    const d = new THREE.Vector3().subVectors(p1, p0);
    const len = d.length();
    mesh.position.copy(p0).addScaledVector(d, 0.5);
    if (len > 0) mesh.quaternion.setFromUnitVectors(yAxis, d.clone().divideScalar(len));
    mesh.scale.set(r, Math.max(len, 1e-9), r);
  }
  function ball(mat, r) {
    const m = new THREE.Mesh(unitBall, mat);
    m.scale.setScalar(r);
    return m;
  }
  // an arrow: shaft from P along dir by L, then a cone of base radius s and length
  // head (1.5 s unless given)
  function arrow(lineMat, solidMat) {
    const g = new THREE.BufferGeometry().setAttribute('position', new THREE.Float32BufferAttribute(6, 3));
    const shaft = new THREE.Line(g, lineMat);
    const cone = new THREE.Mesh(unitCone, solidMat);
    const group = new THREE.Group();
    group.add(shaft, cone);
    group.set = (P, dir, L, s, head = 1.5 * s) => {
      const T = P.clone().addScaledVector(dir, L);
      g.attributes.position.setXYZ(0, P.x, P.y, P.z);
      g.attributes.position.setXYZ(1, T.x, T.y, T.z);
      g.attributes.position.needsUpdate = true;
      g.computeBoundingSphere();
      place(cone, T, T.clone().addScaledVector(dir, head), s);
    };
    return group;
  }
  function polyline(points, mat, closed = false) {
    const g = new THREE.BufferGeometry().setFromPoints(points);
    return closed ? new THREE.LineLoop(g, mat) : new THREE.Line(g, mat);
  }
  function circle(radius, z, segments = 50) {
    const pts = [];
    for (let i = 0; i < segments; i++) {
      const a = (2 * Math.PI * i) / segments;
      pts.push(new THREE.Vector3(radius * Math.cos(a), radius * Math.sin(a), z));
    }
    return pts;
  }

  // the hand frame's axes, as the window draws them
  const axisLength = 500;
  for (const e of [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
    root.add(polyline([new THREE.Vector3(), new THREE.Vector3(...e).multiplyScalar(axisLength)], M.black));

  // the palm: a disc of thickness hPalm in the xz plane
  {
    const palm = new THREE.Mesh(unitCylinder, M.hand);
    const h = data.hand.palmThickness / 2;
    place(palm, new THREE.Vector3(0, -h, 0), new THREE.Vector3(0, h, 0), data.hand.palmRadius);
    root.add(palm);
  }

  // the work, built in its own frame and moved by its pose
  const work = new THREE.Group();
  work.matrixAutoUpdate = false;
  root.add(work);
  const wa = data.work.radius, wh = data.work.length;
  if (data.work.kind === 'cylinder') {
    const body = new THREE.Mesh(unitCylinder, M.work);
    place(body, new THREE.Vector3(0, 0, 0), new THREE.Vector3(0, 0, wh), wa);
    work.add(body);
    // the net just outside the surface: the end circles, 12 generators and spokes
    const ra = wa + 0.12, top = wh + 0.12;
    work.add(polyline(circle(ra, 0), M.black, true), polyline(circle(ra, top), M.black, true));
    const net = [];
    for (let i = 0; i < 12; i++) {
      const a = (2 * Math.PI * i) / 12, x = ra * Math.cos(a), y = ra * Math.sin(a);
      net.push(new THREE.Vector3(x, y, 0), new THREE.Vector3(x, y, top));
      net.push(new THREE.Vector3(0, 0, 0), new THREE.Vector3(x, y, 0));
      net.push(new THREE.Vector3(0, 0, top), new THREE.Vector3(x, y, top));
    }
    work.add(new THREE.LineSegments(new THREE.BufferGeometry().setFromPoints(net), M.black));
    const axis = arrow(M.black, M.blackSolid);
    axis.set(new THREE.Vector3(0, 0, wh), new THREE.Vector3(0, 0, 1), 20, 1);
    work.add(axis);
  } else {
    work.add(ball(M.sphere, wa));
    for (let i = 0; i < 6; i++) {  // meridians 30 degrees apart about the z axis
      const th = (i * Math.PI) / 6, pts = [];
      for (let k = 0; k < 50; k++) {
        const a = (2 * Math.PI * k) / 50;
        pts.push(new THREE.Vector3(wa * Math.cos(a) * Math.cos(th), wa * Math.cos(a) * Math.sin(th), wa * Math.sin(a)));
      }
      work.add(polyline(pts, M.black, true));
    }
    for (let i = 1; i <= 5; i++) {  // parallels at -60 .. 60 degrees
      const phi = (i * Math.PI) / 6 - Math.PI / 2;
      work.add(polyline(circle(wa * Math.cos(phi), wa * Math.sin(phi)), M.black, true));
    }
  }

  // the fingers: joint bodies with their axis arrows, links with their end balls
  const fingers = [];
  for (let f = 0; f < nF; f++) {
    const F = { joints: [], arrows: [], links: [], balls: [] };
    for (let j = 0; j < nJ; j++) {
      F.joints.push(new THREE.Mesh(unitCylinder, M.hand));
      F.arrows.push(arrow(M.black, M.blackSolid));
    }
    for (let j = 3; j <= nJ; j++) {
      F.links.push(new THREE.Mesh(unitCylinder, M.link));
      F.balls.push(ball(M.link, data.hand.linkRadius));
    }
    root.add(...F.joints, ...F.arrows, ...F.links, ...F.balls);
    // contact marker (ball and normal arrow) and the two traces
    F.marker = ball(M.marker, 5);
    F.markerArrow = arrow(M.markerLine, M.marker);
    F.marker.renderOrder = F.markerArrow.renderOrder = 3;
    F.markerArrow.children.forEach((c) => { c.renderOrder = 3; });
    const traceGeometry = () => new THREE.BufferGeometry().setAttribute(
      'position', new THREE.Float32BufferAttribute(new Float32Array(3 * Math.max(rows, 1)), 3));
    F.workTrace = new THREE.Line(traceGeometry(), M.workTrace);
    F.linkTrace = new THREE.Line(traceGeometry(), M.linkTrace);
    // each stored contact also as a dot: lines are one pixel wide in WebGL
    F.workTrace.add(new THREE.Points(F.workTrace.geometry, M.workDots));
    F.linkTrace.add(new THREE.Points(F.linkTrace.geometry, M.linkDots));
    for (const t of [F.workTrace, F.linkTrace, ...F.workTrace.children, ...F.linkTrace.children]) {
      t.renderOrder = 2;
      t.frustumCulled = false;
    }
    root.add(F.marker, F.markerArrow, F.workTrace, F.linkTrace);
    fingers.push(F);
  }

  // --- one stored row ------------------------------------------------------------
  const workPose = (r) => {
    const t = data.table[r], m = new THREE.Matrix4();
    const e = (i, j) => t[col[`ew${i}${j}`]];
    m.set(e(0, 0), e(0, 1), e(0, 2), t[col.rwx],
          e(1, 0), e(1, 1), e(1, 2), t[col.rwy],
          e(2, 0), e(2, 1), e(2, 2), t[col.rwz],
          0, 0, 0, 1);
    return m;
  };
  const contactOf = (r, f) => {
    const t = data.table[r], k = `_f${f + 1}`;
    return {
      point: new THREE.Vector3(t[col['cpx' + k]], t[col['cpy' + k]], t[col['cpz' + k]]),
      normal: new THREE.Vector3(t[col['nwx' + k]], t[col['nwy' + k]], t[col['nwz' + k]]),
    };
  };
  // the frame of finger f's last link in row r: at joint nJ, x along the link to
  // the fingertip centre, z the joint's axis
  const linkPose = (r, f) => {
    const g = data.geometry[r][f], o = v3(g.J, 3 * (nJ - 1));
    const x = v3(g.J, 3 * nJ).sub(o).normalize(), z = v3(g.Z, 3 * (nJ - 1));
    const y = new THREE.Vector3().crossVectors(z, x);
    return new THREE.Matrix4().makeBasis(x, y, z).setPosition(o);
  };

  function drawRow(r) {
    work.matrix.copy(workPose(r));
    work.matrixWorldNeedsUpdate = true;
    const linkR = data.hand.linkRadius;
    for (let f = 0; f < nF; f++) {
      const F = fingers[f], g = data.geometry[r][f];
      if (!g) continue;
      for (let j = 0; j < nJ; j++) {
        const P = v3(g.J, 3 * j), z = v3(g.Z, 3 * j), h = data.hand.jointLength / 2;
        place(F.joints[j], P.clone().addScaledVector(z, -h), P.clone().addScaledVector(z, h), data.hand.jointRadius);
        const head = Math.sqrt(20);  // the joint axis arrow: 20 long, its head included
        F.arrows[j].set(P, z, 20 - head, head, head);
      }
      F.links.forEach((link, i) => {  // links 3..nJ: joint j to joint j + 1
        const a = v3(g.J, 3 * (i + 2)), b = v3(g.J, 3 * (i + 3));
        place(link, a, b, linkR);
        F.balls[i].position.copy(b);
      });
      const c = contactOf(r, f);
      F.marker.position.copy(c.point);
      F.markerArrow.set(c.point, c.normal, 50, 5);
      // a finger lifted off the work by a gait shows no contact at the row
      F.touching = g.touching !== false;
      F.marker.visible = F.markerArrow.visible = F.touching && $('rg-show-contacts').checked;
      // the contacts of rows 0..r on the work and on the last link in their row-r poses
      const W = workPose(r), L = linkPose(r, f);
      const wp = F.workTrace.geometry.attributes.position, lp = F.linkTrace.geometry.attributes.position;
      for (let i = 0; i <= r; i++) {
        const gi = data.geometry[i][f];
        const w = v3(gi.cw).applyMatrix4(W), l = v3(gi.cf).applyMatrix4(L);
        wp.setXYZ(i, w.x, w.y, w.z);
        lp.setXYZ(i, l.x, l.y, l.z);
      }
      wp.needsUpdate = lp.needsUpdate = true;
      F.workTrace.geometry.setDrawRange(0, r + 1);
      F.linkTrace.geometry.setDrawRange(0, r + 1);
    }
    showPanel(r);
  }

  const fmt = (x, d = 4) => (x === null || x === undefined ? 'n/a' : Number(x).toFixed(d));
  function showPanel(r) {
    const t = data.table[r], last = rows - 1, end = data.end;
    $('rg-rowtext').textContent = `${r} of ${last}`;
    $('rg-step').textContent = String(t[col.step]);
    $('rg-t').textContent = fmt(t[col.t], 3);
    const status = $('rg-status');
    let text, stopped = false;
    if (r < last) text = 'rolling (Y)';
    else if (end.message !== '') {
      stopped = true;
      text = `${end.message} (${end.letter}; after step ${end.steps}, t = ${fmt(end.t, 3)})`;
    } else if (end.steps === 0) text = 'the grasp (no rolling step taken)';
    else text = `still rolling when the run ended (after step ${end.steps})`;
    status.textContent = text;
    status.classList.toggle('stopped', stopped);
    const eps = t[col.epsilon];
    $('rg-epsilon').textContent = eps === undefined ? 'n/a' : `${fmt(eps, 5)} (${eps > 0 ? 'force closure' : 'no force closure'})`;
    $('rg-volume').textContent = t[col.volume] === undefined ? 'n/a' : Number(t[col.volume]).toPrecision(4);
    // the finger gaits done since the row before ("lift 2; place 2"), and who is off
    const lifted = data.geometry[r].map((g, f) => (g && g.touching === false ? f + 1 : 0)).filter((f) => f > 0);
    const gaits = data.gait && data.gait[r] ? data.gait[r] : '';
    $('rg-gait').textContent = (gaits || 'none') + (lifted.length ? ` (lifted: ${lifted.join(', ')})` : '');
  }

  // --- toggles, scrubber, play ---------------------------------------------------
  const show = () => {
    for (const F of fingers) {
      F.marker.visible = F.markerArrow.visible = F.touching !== false && $('rg-show-contacts').checked;
      F.workTrace.visible = $('rg-show-worktrace').checked;
      F.linkTrace.visible = $('rg-show-linktrace').checked;
    }
    requestFrame();
  };
  for (const id of ['rg-show-contacts', 'rg-show-worktrace', 'rg-show-linktrace'])
    $(id).addEventListener('change', show);

  const slider = $('rg-row');
  slider.max = String(Math.max(rows - 1, 0));
  let current = 0, shownRow = -1, playing = false, lastTick = 0, carry = 0;
  const waiting = [];
  function setRow(r) {
    current = Math.min(Math.max(Math.round(Number(r)) || 0, 0), Math.max(rows - 1, 0));
    slider.value = String(current);
    requestFrame();
  }
  slider.addEventListener('input', () => { setPlaying(false); setRow(slider.value); });
  function setPlaying(on) {
    playing = on && rows > 1;
    $('rg-play').textContent = playing ? 'Pause' : 'Play';
    lastTick = performance.now();
    carry = 0;
    requestFrame();
  }
  $('rg-play').addEventListener('click', () => {
    if (!playing && current >= rows - 1) setRow(0);
    setPlaying(!playing);
  });
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement || e.target instanceof HTMLSelectElement) return;
    if (e.key === ' ') { setPlaying(!playing); e.preventDefault(); }
    else if (e.key === 'ArrowRight') { setPlaying(false); setRow(current + 1); }
    else if (e.key === 'ArrowLeft') { setPlaying(false); setRow(current - 1); }
  });
  const rowOfHash = () => {
    const m = /(?:^#|&)row=(\d+)/.exec(location.hash);
    return m ? Number(m[1]) : null;
  };
  window.addEventListener('hashchange', () => {
    const r = rowOfHash();
    if (r !== null) { setPlaying(false); setRow(r); }
  });

  // --- drawing on demand -----------------------------------------------------------
  let pending = false;
  function requestFrame() {
    if (!pending) { pending = true; requestAnimationFrame(frame); }
  }
  function resize() {
    const w = Math.max(view.clientWidth, 1), h = Math.max(view.clientHeight, 1);
    renderer.setSize(w, h, false);
    camera.aspect = w / h;
    camera.updateProjectionMatrix();
  }
  new ResizeObserver(() => { resize(); requestFrame(); }).observe(view);
  controls.addEventListener('change', requestFrame);

  function frame(now) {
    pending = false;
    if (playing) {
      carry += ((now - lastTick) / 1000) * Number($('rg-speed').value);
      lastTick = now;
      const step = Math.floor(carry);
      if (step > 0) {
        carry -= step;
        setRow(Math.min(current + step, rows - 1));
        if (current >= rows - 1) setPlaying(false);
      }
    }
    if (rows > 0 && current !== shownRow) {
      drawRow(current);
      shownRow = current;
    }
    if (Number.isNaN(api.loadMs)) performance.mark('rg-scene');
    renderer.render(scene, camera);
    api.row = shownRow;
    document.documentElement.dataset.rgRow = String(shownRow);
    for (let i = waiting.length - 1; i >= 0; i--) {
      if (waiting[i].row === shownRow) { waiting[i].resolve(shownRow); waiting.splice(i, 1); }
    }
    if (playing) requestFrame();
    if (Number.isNaN(api.loadMs)) {
      api.loadMs = performance.now();
      document.documentElement.dataset.rgReady = 'true';
      readyResolve(api);
    }
  }

  api.setRow = (r) => new Promise((resolve) => {
    setPlaying(false);
    setRow(r);
    waiting.push({ row: current, resolve });
  });
  // where the drawn row's contact markers and work centre land on the page (CSS
  // pixels from the page's top left corner)
  api.probe = () => {
    const rect = renderer.domElement.getBoundingClientRect();
    const px = (p) => {
      const q = p.clone().project(camera);
      return [rect.left + ((q.x + 1) / 2) * rect.width, rect.top + ((1 - q.y) / 2) * rect.height];
    };
    // hand-frame points, drawn through the view turn of root
    const onPage = (p) => px(p.clone().applyMatrix4(root.matrix));
    const centre = new THREE.Vector3(0, 0, data.work.kind === 'cylinder' ? wh / 2 : 0).applyMatrix4(work.matrix);
    return {
      row: shownRow,
      markers: fingers.map((F, f) => ({ finger: f + 1, world: F.marker.position.toArray(), px: onPage(F.marker.position) })),
      workCentre: { world: centre.toArray(), px: onPage(centre) },
      canvas: [rect.left, rect.top, rect.width, rect.height],
    };
  };

  resize();
  show();
  setRow(rowOfHash() ?? 0);
}
