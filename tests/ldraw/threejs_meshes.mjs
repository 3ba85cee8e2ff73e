// Parses an LDraw part with three.js's LDrawLoader, as web viewers do, the colour definitions
// read first; prints the triangles of its meshes and their colours as JSON.
import { LDrawLoader } from '/usr/share/javascript/three/examples/jsm/loaders/LDrawLoader.js';
import fs from 'fs';
const [ldconfig, part] = process.argv.slice(2);
const loader = new LDrawLoader();
loader.separateObjects = false;
const text = fs.readFileSync(ldconfig, 'utf8') + '\n' + fs.readFileSync(part, 'utf8');
loader.parse(text, '', (group) => {
  let triangles = 0; const colours = new Set();
  group.traverse((o) => {
    if (o.isMesh) {
      const g = o.geometry;
      const count = g.index ? g.index.count : g.attributes.position.count;
      triangles += count / 3;
      (Array.isArray(o.material) ? o.material : [o.material]).forEach((m) => colours.add(m.color.getHexString()));
    }
  });
  console.log(JSON.stringify({triangles, colours: [...colours].sort()}));
});
